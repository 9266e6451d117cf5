// The manual's and the README's tables of result codes are the rows of
// converter/ResultCodes.def: a code added, changed or dropped there fails here
// until the documents say the same.
#include <gtest/gtest.h>

#include <ctype.h>
#include <dirent.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

struct Row {
    int code;
    std::string meaning, left;
};

std::vector<Row> Rows()
{
    std::vector<Row> rows;
#define QV_RESULT(name, code, about, keeps, message, meaning, left) rows.push_back({code, meaning, left});
#define QV_FIRST_RESULT QV_RESULT
#include "ResultCodes.def"
#undef QV_FIRST_RESULT
#undef QV_RESULT
    return rows;
}

std::string Text(const std::string& path)
{
    std::vector<unsigned char> bytes = qvtest::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// The Markdown table, in README.md or, once moved, in a file of docs/.
std::string MarkdownTable()
{
    std::string table = "| code | meaning | what is left on disk |\n|---|---|---|\n";
    for (const Row& row : Rows())
        table += "| " + std::to_string(row.code) + " | " + row.meaning + " | " + row.left + " |\n";
    return table;
}

// The manual's entries, code 0 aside. What the command leaves on disk is
// said after them: it removes what the call leaves but for the kept codes.
std::string ManualEntries()
{
    std::string entries = ".SH RESULT CODES\n";
    for (const Row& row : Rows()) {
        if (row.code == 0)
            continue;
        std::string meaning = row.meaning;
        meaning[0] = static_cast<char>(toupper(static_cast<unsigned char>(meaning[0])));
        entries += ".TP\n.B " + std::to_string(row.code) + "\n" + meaning + ".\n";
    }
    return entries;
}

}  // namespace

TEST(ResultCodes, TheManualListsEveryCodeOfTheTable)
{
    std::string manual = Text(QUORVAN_SOURCE_DIR "/tools/quorvan.1");
    EXPECT_NE(manual.find(ManualEntries()), std::string::npos) << "tools/quorvan.1 should hold:\n" << ManualEntries();
}

TEST(ResultCodes, TheReadmeOrADocumentListsEveryCodeOfTheTable)
{
    std::vector<std::string> documents = {QUORVAN_SOURCE_DIR "/README.md"};
    if (DIR* docs = opendir(QUORVAN_SOURCE_DIR "/docs")) {
        while (dirent* entry = readdir(docs)) {
            std::string name = entry->d_name;
            if (name.size() > 3 && name.compare(name.size() - 3, 3, ".md") == 0)
                documents.push_back(QUORVAN_SOURCE_DIR "/docs/" + name);
        }
        closedir(docs);
    }
    int found = 0;
    for (const std::string& document : documents)
        found += Text(document).find(MarkdownTable()) != std::string::npos;
    EXPECT_EQ(found, 1) << "README.md or one file of docs/ should hold:\n" << MarkdownTable();
}

// Runs a fuzz target's check over given files and folders (every file in a
// folder except its *.md notes), without libFuzzer: the normal suite replays
// every input that ever made a target fail.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool Replay(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    bool ok = !ferror(f);
    fclose(f);
    if (ok)
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        struct stat st;
        if (stat(argv[i], &st) != 0) {
            fprintf(stderr, "%s: not found\n", argv[i]);
            return 1;
        }
        if (!S_ISDIR(st.st_mode)) {
            files.push_back(argv[i]);
            continue;
        }
        DIR* d = opendir(argv[i]);
        while (dirent* e = d ? readdir(d) : nullptr) {
            std::string name = e->d_name, path = std::string(argv[i]) + "/" + name;
            bool note = name.size() > 3 && name.compare(name.size() - 3, 3, ".md") == 0;
            if (!note && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                files.push_back(path);
        }
        if (d)
            closedir(d);
    }
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) {
        if (!Replay(f)) {
            fprintf(stderr, "%s: cannot be read\n", f.c_str());
            return 1;
        }
    }
    printf("%zu inputs replayed, none broke the contract\n", files.size());
    return 0;
}

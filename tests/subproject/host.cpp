// Converts INPUT from two threads at once, several times each, into OUTDIR;
// prints "ok CALLS" when every call returned 0 and every WAV file is the
// same, else what went wrong.
#include <quorvan/Quorvan.h>

#include <stdio.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

const int kCallsPerThread = 5;

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: host INPUT OUTDIR\n");
        return 2;
    }
    const std::string input = argv[1], outdir = argv[2];
    std::vector<int> results[2];
    std::vector<std::string> outputs[2];
    auto calls = [&](int thread) {
        for (int i = 0; i < kCallsPerThread; ++i) {
            std::string name = outdir + "/" + std::to_string(thread) + "-" + std::to_string(i) + ".wav";
            CString in(input.c_str()), out(name.c_str());
            results[thread].push_back(DecodeMpegToWav(in, out));
            outputs[thread].push_back(name);
        }
    };
    std::thread first(calls, 0), second(calls, 1);
    first.join();
    second.join();

    const std::string reference = Slurp(outputs[0][0]);
    if (reference.size() <= 44 || reference.compare(0, 4, "RIFF") != 0) {
        printf("%s is not a WAV file\n", outputs[0][0].c_str());
        return 1;
    }
    int failures = 0;
    for (int t = 0; t < 2; ++t)
        for (int i = 0; i < kCallsPerThread; ++i) {
            if (results[t][i] != 0) {
                printf("%s: result %d\n", outputs[t][i].c_str(), results[t][i]);
                ++failures;
            } else if (Slurp(outputs[t][i]) != reference) {
                printf("%s differs from %s\n", outputs[t][i].c_str(), outputs[0][0].c_str());
                ++failures;
            }
        }
    if (failures)
        return 1;
    printf("ok %d\n", 2 * kCallsPerThread);
    return 0;
}

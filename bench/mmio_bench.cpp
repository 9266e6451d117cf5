// How fast the buffered RIFF writer appends decoded blocks, for several buffer
// sizes, as a ratio to plain write(2) calls of the same blocks and to stdio.
//   mmio_bench [FOLDER] [MEGABYTES]
// Each variant writes the same data to a file in FOLDER (default: TMPDIR or
// /tmp); rounds alternate between variants so that machine noise spreads
// evenly, and the best round of each counts.
#include <mmsystem.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace {

const size_t kBlock = 9216;  // the largest block a decoder delivers

double Seconds(const std::function<void()>& f)
{
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv)
{
    const char* tmp = getenv("TMPDIR");
    std::string folder = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
    size_t megabytes = argc > 2 ? strtoul(argv[2], nullptr, 10) : 256;
    size_t blocks = megabytes * 1024 * 1024 / kBlock;
    std::string path = folder + "/quorvan-mmio-bench.wav";
    std::vector<char> block(kBlock, 'x');

    struct Variant {
        std::string name;
        std::function<void()> run;
        double best;
    };
    std::vector<Variant> variants;
    variants.push_back({"write(2) per block", [&] {
                            int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                            for (size_t i = 0; i < blocks; ++i)
                                if (write(fd, block.data(), kBlock) != static_cast<ssize_t>(kBlock))
                                    abort();
                            close(fd);
                        },
                        1e9});
    variants.push_back({"stdio (fwrite)", [&] {
                            FILE* f = fopen(path.c_str(), "wb");
                            for (size_t i = 0; i < blocks; ++i)
                                fwrite(block.data(), 1, kBlock, f);
                            fclose(f);
                        },
                        1e9});
    for (LONG size : {8192, 16384, 32768, 65536, 262144, 1048576}) {
        variants.push_back({"mmio buffer " + std::to_string(size / 1024) + " KiB", [&, size] {
                                MMIOINFO info = MMIOINFO();
                                info.cchBuffer = size;
                                HMMIO h = mmioOpenA(const_cast<LPSTR>(path.c_str()), &info,
                                                    MMIO_CREATE | MMIO_WRITE | MMIO_ALLOCBUF);
                                for (size_t i = 0; i < blocks; ++i)
                                    if (mmioWrite(h, block.data(), kBlock) != static_cast<LONG>(kBlock))
                                        abort();
                                mmioClose(h, 0);
                            },
                            1e9});
    }

    for (int round = 0; round < 5; ++round)
        for (Variant& v : variants) {
            double s = Seconds(v.run);
            if (s < v.best)
                v.best = s;
        }
    unlink(path.c_str());

    double base = variants[0].best;
    printf("%zu MiB in %zu-byte blocks to %s (best of 5 rounds)\n", megabytes, kBlock, folder.c_str());
    for (const Variant& v : variants)
        printf("  %-22s %7.1f MiB/s   %.2fx write(2)\n", v.name.c_str(), megabytes / v.best, base / v.best);
    printf("default buffer: %d KiB\n", MMIO_DEFAULTBUFFER / 1024);
    return 0;
}

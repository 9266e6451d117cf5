// The smallest host: converts INPUT and prints the result code and the WAV
// file's name, the one given or the one the library chose.
#include <quorvan/Quorvan.h>

#include <stdio.h>

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: consumer INPUT [OUTPUT]\n");
        return 2;
    }
    CString input(argv[1]);
    CString output(argc == 3 ? argv[2] : "");
    int rc = DecodeMpegToWav(input, output);
    printf("%d %s\n", rc, static_cast<LPCTSTR>(output));
    return rc == QV_OK ? 0 : 1;
}

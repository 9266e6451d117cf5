// ma32: describes the fields of an MPEG audio frame header in words.
#include "FrameHeader.h"
#include "QuorvanDecoderModules.h"

namespace {

using quorvan::FrameHeader;
using quorvan::ParseFrameHeader;

const char kInvalid[] = "invalid";

// Runs describe(header fields) for a valid header, else "invalid".
template <typename Fn>
const char* Describe(uint32_t header, Fn describe)
{
    FrameHeader h;
    return ParseFrameHeader(header, &h) ? describe(h) : kInvalid;
}

}  // namespace

extern "C" {

MASD_EXPORT const char* CDECL ma_mpegIDString(uint32_t header)
{
    return Describe(header, [](const FrameHeader& h) {
        return h.version == 1 ? "MPEG-1" : h.version == 2 ? "MPEG-2" : "MPEG-2.5";
    });
}

MASD_EXPORT const char* CDECL ma_mpegLayerString(uint32_t header)
{
    static const char* const kNames[] = {"Layer I", "Layer II", "Layer III"};
    return Describe(header, [](const FrameHeader& h) { return kNames[h.layer - 1]; });
}

MASD_EXPORT const char* CDECL ma_mpegProtectionString(uint32_t header)
{
    return Describe(header, [](const FrameHeader& h) { return h.protectedByCrc ? "CRC protected" : "not protected"; });
}

MASD_EXPORT const char* CDECL ma_mpegPaddingString(uint32_t header)
{
    return Describe(header, [](const FrameHeader& h) { return h.padded ? "padded" : "not padded"; });
}

MASD_EXPORT const char* CDECL ma_mpegPrivateString(uint32_t header)
{
    return Describe(header, [](const FrameHeader& h) { return h.privateBit ? "private bit set" : "private bit clear"; });
}

MASD_EXPORT const char* CDECL ma_mpegModeString(uint32_t header)
{
    static const char* const kNames[] = {"stereo", "joint stereo", "dual channel", "mono"};
    return Describe(header, [](const FrameHeader& h) { return kNames[h.mode]; });
}

MASD_EXPORT const char* CDECL ma_mpegModeExtString(uint32_t header)
{
    static const char* const kBands[] = {"bands 4-31", "bands 8-31", "bands 12-31", "bands 16-31"};
    static const char* const kLayer3[] = {"intensity off, M/S off", "intensity on, M/S off",
                                          "intensity off, M/S on", "intensity on, M/S on"};
    return Describe(header, [](const FrameHeader& h) {
        if (h.mode != 1)
            return "none";
        return h.layer == 3 ? kLayer3[h.modeExtension] : kBands[h.modeExtension];
    });
}

MASD_EXPORT const char* CDECL ma_mpegCopyrightString(uint32_t header)
{
    return Describe(header, [](const FrameHeader& h) { return h.copyright ? "copyrighted" : "not copyrighted"; });
}

MASD_EXPORT const char* CDECL ma_mpegOriginalCopyString(uint32_t header)
{
    return Describe(header, [](const FrameHeader& h) { return h.original ? "original" : "copy"; });
}

MASD_EXPORT const char* CDECL ma_mpegEmphasisString(uint32_t header)
{
    static const char* const kNames[] = {"none", "50/15 us", "reserved", "CCITT J.17"};
    return Describe(header, [](const FrameHeader& h) { return kNames[h.emphasis]; });
}

MASD_EXPORT const char* CDECL ma_mpegSampleFreqString(uint32_t header)
{
    return Describe(header, [](const FrameHeader& h) {
        switch (h.sampleRate) {
        case 48000: return "48000 Hz";
        case 44100: return "44100 Hz";
        case 32000: return "32000 Hz";
        case 24000: return "24000 Hz";
        case 22050: return "22050 Hz";
        case 16000: return "16000 Hz";
        case 12000: return "12000 Hz";
        case 11025: return "11025 Hz";
        default: return "8000 Hz";
        }
    });
}

MASD_EXPORT const char* CDECL ma_mpegBitrateString(uint32_t header)
{
    static const char* const kNames[] = {
        "free format", "8 kbps",   "16 kbps",  "24 kbps",  "32 kbps",  "40 kbps",  "48 kbps",
        "56 kbps",     "64 kbps",  "80 kbps",  "96 kbps",  "112 kbps", "128 kbps", "144 kbps",
        "160 kbps",    "176 kbps", "192 kbps", "224 kbps", "256 kbps", "288 kbps", "320 kbps",
        "352 kbps",    "384 kbps", "416 kbps", "448 kbps"};
    static const int kValues[] = {0,   8,   16,  24,  32,  40,  48,  56,  64,  80,  96,  112, 128,
                                  144, 160, 176, 192, 224, 256, 288, 320, 352, 384, 416, 448};
    return Describe(header, [](const FrameHeader& h) {
        for (size_t i = 0; i < sizeof kValues / sizeof kValues[0]; ++i)
            if (kValues[i] == h.bitrateKbps)
                return kNames[i];
        return kInvalid;
    });
}

}  // extern "C"

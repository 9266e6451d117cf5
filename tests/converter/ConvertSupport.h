// Shared by the conversion-run tests: running one conversion against a rig,
// and looking at what it left.
#ifndef QUORVAN_TESTS_CONVERTSUPPORT_H
#define QUORVAN_TESTS_CONVERTSUPPORT_H

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "MpegToWavConverter.h"
#include "TestSupport.h"

namespace qvtest {

inline int Convert(const DoubleRig& rig, const std::string& output, DWORD dataLimit = 0)
{
    CMpegToWavConverter converter(rig.input().c_str(), output.c_str());
    if (dataLimit)
        converter.SetDataLimit(dataLimit);
    return converter.Convert();
}

inline std::vector<unsigned char> Data(const std::vector<unsigned char>& file)
{
    return file.size() < 44 ? std::vector<unsigned char>() : std::vector<unsigned char>(file.begin() + 44, file.end());
}

inline std::vector<unsigned char> Concat(std::initializer_list<std::vector<unsigned char>> parts)
{
    std::vector<unsigned char> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A finished file: both sizes agree with the file's length.
inline void ExpectFinished(const std::vector<unsigned char>& file)
{
    ASSERT_GE(file.size(), 44u);
    qvtest::WavHeader h = qvtest::ParseWavHeader(file);
    EXPECT_EQ(h.riffSize, file.size() - 8);
    EXPECT_EQ(h.dataSize, file.size() - 44);
}

}  // namespace qvtest

#endif

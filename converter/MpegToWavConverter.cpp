#include "MpegToWavConverter.h"

#include "OutputNaming.h"

CMpegToWavConverter::CMpegToWavConverter(const CString& inputPath, const CString& outputPath)
    : m_hmmio(nullptr),
      m_ckRiff(),
      m_ckSub(),
      m_strInput(inputPath),
      m_strOutput(outputPath),
      m_cbData(0),
      m_cbDataLimit(kMaxDataBytes)
{
    // The WAV file always declares 44100 Hz, 2 channels, 16 bits.
    m_format.wFormatTag = WAVE_FORMAT_PCM;
    m_format.nChannels = 2;
    m_format.nSamplesPerSec = 44100;
    m_format.nAvgBytesPerSec = 176400;
    m_format.nBlockAlign = 4;
    m_format.wBitsPerSample = 16;
    m_format.cbSize = 0;
}

CMpegToWavConverter::~CMpegToWavConverter() = default;

CString CMpegToWavConverter::GetOutputPath() const
{
    return m_strOutput;
}

int CMpegToWavConverter::ChooseOutputPath()
{
    if (m_strOutput.IsEmpty())
        m_strOutput = ChooseOutputName(m_strInput);
    return QV_OK;
}

#include "MpegToWavConverter.h"

#include "OutputNaming.h"
#include "WaveFormat.h"

CMpegToWavConverter::CMpegToWavConverter(const CString& inputPath, const CString& outputPath)
    : m_hmmio(nullptr),
      m_ckRiff(),
      m_ckSub(),
      m_strInput(inputPath),
      m_strOutput(outputPath),
      m_cbData(0),
      m_cbDataLimit(kMaxDataBytes)
{
    // The WAV file always declares the one format (WaveFormat.h).
    m_format.wFormatTag = WAVE_FORMAT_PCM;
    m_format.nChannels = kWaveChannels;
    m_format.nSamplesPerSec = kWaveRate;
    m_format.nAvgBytesPerSec = kWaveBytesPerSecond;
    m_format.nBlockAlign = kWaveBlockAlign;
    m_format.wBitsPerSample = kWaveBitsPerSample;
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

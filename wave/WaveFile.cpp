// Writing the WAV file: RIFF header, 16-byte format chunk, one data chunk whose
// sizes are fixed when the file is closed.
#include "MpegToWavConverter.h"
#include "SameFile.h"
#include "WaveFormat.h"

int CMpegToWavConverter::CreateWaveFile()
{
    // Truncating the input while it is being read would destroy it.
    if (IsSameFile(m_strInput, m_strOutput))
        return QV_ERR_CREATE_WAVE;

    MMIOINFO info = MMIOINFO();
    m_hmmio = mmioOpenA(const_cast<LPSTR>(static_cast<LPCSTR>(m_strOutput)), &info,
                        MMIO_CREATE | MMIO_WRITE | MMIO_ALLOCBUF);
    if (!m_hmmio)
        return QV_ERR_CREATE_WAVE;
    m_cbData = 0;

    bool ok;
    m_ckRiff = MMCKINFO();
    m_ckRiff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ok = mmioCreateChunk(m_hmmio, &m_ckRiff, MMIO_CREATERIFF) == MMSYSERR_NOERROR;
    if (ok) {
        m_ckSub = MMCKINFO();
        m_ckSub.ckid = mmioFOURCC('f', 'm', 't', ' ');
        ok = mmioCreateChunk(m_hmmio, &m_ckSub, 0) == MMSYSERR_NOERROR;
    }
    // Only the first 16 bytes of the record: cbSize is not part of PCM's chunk.
    const LONG cbFormat = kWaveFormatBytes;
    ok = ok && mmioWrite(m_hmmio, reinterpret_cast<const char*>(&m_format), cbFormat) == cbFormat;
    ok = ok && mmioAscend(m_hmmio, &m_ckSub, 0) == MMSYSERR_NOERROR;
    if (ok) {
        // The record still holds the format chunk's size, 16, which becomes
        // the data chunk's provisional size.
        m_ckSub.ckid = mmioFOURCC('d', 'a', 't', 'a');
        ok = mmioCreateChunk(m_hmmio, &m_ckSub, 0) == MMSYSERR_NOERROR;
    }
    if (!ok) {
        mmioClose(m_hmmio, 0);
        m_hmmio = nullptr;
        return QV_ERR_CREATE_WAVE;
    }
    return QV_OK;
}

int CMpegToWavConverter::WriteBlock(const void* samples, const PcmBlock& block)
{
    uint64_t bytes = PcmBlockBytes(block);
    if (bytes == 0)
        return QV_OK;
    // Stop before the chunk sizes would wrap: the file stays valid.
    if (!m_hmmio || bytes > m_cbDataLimit - m_cbData || bytes > 0x7fffffffu)
        return QV_ERR_WRITE_BLOCK;
    LONG cb = static_cast<LONG>(bytes);
    if (mmioWrite(m_hmmio, static_cast<const char*>(samples), cb) != cb)
        return QV_ERR_WRITE_BLOCK;
    m_cbData += static_cast<DWORD>(bytes);
    return QV_OK;
}

int CMpegToWavConverter::CloseWaveFile()
{
    if (!m_hmmio)
        return QV_ERR_CLOSE_WAVE;
    bool ok = mmioAscend(m_hmmio, &m_ckSub, 0) == MMSYSERR_NOERROR;
    ok = ok && mmioAscend(m_hmmio, &m_ckRiff, 0) == MMSYSERR_NOERROR;
    ok = mmioClose(m_hmmio, 0) == MMSYSERR_NOERROR && ok;
    m_hmmio = nullptr;
    return ok ? QV_OK : QV_ERR_CLOSE_WAVE;
}

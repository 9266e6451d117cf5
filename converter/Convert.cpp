// The conversion run: bind the decoder modules, open the input, synchronise,
// create the WAV file, copy every block, tear down.
#include "DecoderBinding.h"
#include "MpegToWavConverter.h"

namespace {
// Bytes of the parameter record handed to masd_init.
const DecoderParams kDecoderParams = {{1, 0, 0, 0, 141, 0}};
}  // namespace

// What a run holds besides the converter's own fields. The buffers live on the
// stack and are reused for every block.
struct CMpegToWavConverter::Run {
    DecoderBinding binding;
    uint32_t initWord;
    DecoderHandle decoder;
    uint32_t frameWord;
    PcmBlock pcm;
    AuxBlock aux;
    unsigned char auxBuffer[DECODER_AUX_BUFFER_BYTES];
    unsigned char samples[DECODER_SAMPLE_BUFFER_BYTES];
    // True while a decoder entry point runs, and after one threw.
    bool inDecoder;
};

namespace {

// Runs one call into the decoder module. An exception that leaves a module
// may live in it (its type, and on Windows the address of its destructor is
// the module's own import stub): a module that threw is not released while
// the exception is on its way out, or catching it would jump into unmapped
// code.
template <typename Call>
int InDecoder(bool& inDecoder, Call call)
{
    inDecoder = true;
    int rc = call();
    inDecoder = false;
    return rc;
}

}  // namespace

uint64_t PcmBlockBytes(const PcmBlock& block)
{
    return WavePcmBytes(block.first, block.second);
}

int CMpegToWavConverter::Convert()
{
    Run run;
    run.initWord = 0;
    run.decoder = nullptr;
    run.frameWord = 0;
    run.pcm.first = 0;
    run.pcm.second = 0;
    run.pcm.samples = run.samples;
    run.aux.count = 0;
    run.aux.data = run.auxBuffer;
    run.inDecoder = false;

    int result = BindDecoder(run.binding);
    if (result != QV_OK)
        return result;
    result = OpenInput();
    if (result != QV_OK) {
        UnbindDecoder(run.binding);
        return result;
    }

    // From here on every way out, an exception included, passes the teardown.
    try {
        result = Decode(run);
    } catch (...) {
        Teardown(run, nullptr);
        throw;
    }
    int closeWave = QV_OK;
    Teardown(run, &closeWave);
    // A file that could not be finished is no success.
    if (result == QV_OK && closeWave != QV_OK)
        result = QV_ERR_CLOSE_WAVE;
    return result;
}

int CMpegToWavConverter::Decode(Run& run)
{
    auto decode = [&run] { return run.binding.Decode()(&run.frameWord, &run.pcm, &run.aux, run.decoder); };
    if (InDecoder(run.inDecoder, [&run] {
            return run.binding.Init()(kDecoderParams, ReadInputCallback, &run.initWord, &run.decoder);
        }) != DECODER_OK)
        return QV_ERR_DECODER_INIT;

    // Synchronise: errors are skipped; the first decoded block is not written.
    int rc;
    do {
        rc = InDecoder(run.inDecoder, decode);
    } while (rc != DECODER_OK && rc != DECODER_END);
    if (rc == DECODER_END)
        return QV_ERR_NO_AUDIO;

    ChooseOutputPath();  // when the caller gave no name
    int result = CreateWaveFile();
    if (result != QV_OK)
        return result;

    for (;;) {
        rc = InDecoder(run.inDecoder, decode);
        if (rc == DECODER_END)
            return QV_OK;
        // Whatever the decoder returned, the buffer is written as it describes
        // it, but never beyond the buffer.
        if (PcmBlockBytes(run.pcm) > sizeof run.samples)
            return QV_ERR_WRITE_BLOCK;
        result = WriteBlock(run.samples, run.pcm);
        if (result != QV_OK)
            return result;
    }
}

// Closes everything the run opened, in a fixed order: the decoder instance,
// the input, the WAV file, then ma32 and masd32 (unless an exception came out
// of the decoder: the modules then stay loaded, see InDecoder).
void CMpegToWavConverter::Teardown(Run& run, int* pCloseWaveResult)
{
    run.binding.Close()(&run.decoder);
    CloseInput();
    int closeWave = CloseWaveFile();
    if (pCloseWaveResult)
        *pCloseWaveResult = closeWave;
    if (run.inDecoder)
        run.binding = DecoderBinding();
    else
        UnbindDecoder(run.binding);
}

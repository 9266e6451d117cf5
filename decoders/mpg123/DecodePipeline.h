// A decoder instance on threads of its own, so that reading, decoding,
// resampling and the caller's writing overlap:
//   reader:     calls the read callback (the only thread that does) in the
//               pieces the decoder asks for, and plans the segments;
//   workers:    decode the segments of a plain stretch of frames in
//               parallel (SegmentedStream), one per thread;
//   decoder:    MpegStreamDecoder on those pieces, with the workers' frames
//               in place of its own decoding while they last;
//   resampler:  BlockMaker, which makes the masd_decode results, in batches
//               of chunks whose right channel a side thread resamples
//               while the resampler does the left one (from
//               kHelperThreadsFrom threads, see DecoderThreads.h);
//   the caller: takes the results one by one.
// Bounded queues between the stages keep the memory small whatever the
// stream's length. The decoder sees the same pieces as on one thread and the
// results are made by the same code in the same order, so they are the same.
// Every thread is joined before FlushAndResync or the destructor returns;
// after a FlushAndResync the rest of the stream is not cut into segments.
#ifndef QUORVAN_DECODERS_DECODEPIPELINE_H
#define QUORVAN_DECODERS_DECODEPIPELINE_H

#include <stdint.h>

#include <deque>
#include <memory>
#include <thread>
#include <vector>

#include "HandOffQueue.h"
#include "MasdBlocks.h"
#include "SegmentedStream.h"

namespace quorvan {

class DecodePipeline : public BlockSource {
public:
    // Pieces of input, decoded chunks and results each queue may hold (64
    // chunks, not 32: each wake-up of the decoder or the resampler then
    // moves twice as many frames, for about 150 KiB more).
    static constexpr size_t kPieces = 4;
    static constexpr size_t kChunks = 64;
    static constexpr size_t kBlocks = 32;
    // Input frames the resampler gathers before it resamples them, the two
    // channels on two threads: enough that the hand-off costs little.
    static constexpr size_t kBatchFrames = 9216;
    // Decoded frames that cross to the resampler at a time, and results the
    // caller takes at a time: fewer locks and wake-ups per frame.
    static constexpr size_t kDecodedAtOnce = 8;
    static constexpr size_t kBlocksAtOnce = 8;
    // Open's result when the threads cannot be started; nothing was read.
    static constexpr int kNoThreads = -1000;

    DecodePipeline(DecoderReadCallback callback, int threads);
    ~DecodePipeline() override;
    DecodePipeline(const DecodePipeline&) = delete;
    DecodePipeline& operator=(const DecodePipeline&) = delete;

    int Open() override;
    void Next(MasdBlock& block, int16_t* out) override;
    int FlushAndResync() override;

    // What became of the segments so far (after the threads were joined).
    SegmentStats Stats() const { return m_segments ? m_segments->Stats() : m_stats; }

private:
    struct Piece {
        std::vector<unsigned char> bytes;
        bool end = false;     // the input ends after it
        bool failed = false;  // the reader could not go on
    };
    struct Decoded {
        MpegStreamDecoder::Status status = MpegStreamDecoder::kEnd;
        PcmFormat format;
        std::vector<int16_t> samples;
        uint32_t header = 0;
        uint32_t bytes = 0;
        bool failed = false;
    };
    // The decoder's input: the reader's pieces, in order.
    class QueueSource : public ByteSource {
    public:
        explicit QueueSource(HandOffQueue<Piece>& pieces) : m_pieces(pieces) {}
        size_t Read(void* buffer, size_t length, bool& end) override;

    private:
        HandOffQueue<Piece>& m_pieces;
        Piece m_piece;
        size_t m_pos = 0;
        bool m_ended = false;
    };

    DecodePipeline(DecoderReadCallback callback, int threads, const SegmentSettings& settings);
    bool Start();
    void Stop();
    void ReadLoop();
    void DecodeLoop();
    void ResampleLoop();

    CallbackSource m_callback;
    const int m_threads;
    std::unique_ptr<SegmentedStream> m_segments;  // null once no segments are made
    SegmentStats m_stats;                         // theirs, after that
    bool m_planning = false;                      // the reader hands pieces to m_segments
    HandOffQueue<Piece> m_pieces;
    QueueSource m_queued{m_pieces};
    MpegStreamDecoder m_decoder{m_queued};
    HandOffQueue<Decoded> m_decoded{kChunks};
    BlockMaker m_maker{true};
    HandOffQueue<MasdBlock> m_blocks{kBlocks};
    SideThread m_side;
    bool m_sideRuns = false;  // set before the resampler starts
    std::thread m_reader, m_decoding, m_resampling, m_sideThread;
    std::vector<std::thread> m_workers;

    // Owned by the reader while it runs.
    Piece m_unsent;          // read, but not yet queued when the reader was stopped
    bool m_hasUnsent = false;
    bool m_readAll = false;  // the last piece was queued
    // The caller's side.
    bool m_ended = false;
    std::deque<MasdBlock> m_ready;  // taken from m_blocks, not yet handed out
    MasdBlock m_last;
};

}  // namespace quorvan

#endif

/*
 * Quorlin_H264_Dec: H.264 Baseline decoder library.
 *
 * Turns a buffer of H.264 Annex B byte stream (one access unit per call,
 * NAL units introduced by the start code 00 00 00 01 or 00 00 01) into one
 * picture in a caller-chosen pixel format. Access unit delimiters, SEI,
 * filler data and end of sequence or stream units are skipped wherever they
 * stand.
 *
 * With more than one thread (handle->threads) the next access unit is parsed
 * while the decoder's own thread finishes the last picture, so each picture
 * comes out one call late: the first call gives none, and an input that
 * holds only an end of sequence or end of stream unit (00 00 00 01 0B) gives
 * out the picture still held. Give one at the end of the stream, before
 * QL_H264dec_Uninit after result -5, and before a stream whose picture size
 * differs, where the held picture is of the old size. With one thread each
 * picture comes out in the call that decoded it.
 *
 * Ownership: the caller allocates the DecoderHandle and keeps it for the life
 * of the decoder; the library owns the private context that handle->context
 * points to from QL_H264dec_Init to QL_H264dec_Uninit. The caller owns the
 * input bytes and the output picture buffer; the library keeps no pointer to
 * either after a call returns.
 *
 * Threads: the library has no lock of its own. One handle must be used by one
 * thread at a time; different handles may be used on different threads.
 *
 * Trace: with QL_H264DEC_TRACE=1 in the environment the library writes its
 * debug lines to standard error. QL_H264DEC_SIMD=c|sse2|ssse3|avx2 caps the
 * vector instruction set that the library uses.
 */
#ifndef QUORLIN_H264_DEC_H
#define QUORLIN_H264_DEC_H

#include <stdint.h>

#if defined(__GNUC__) || defined(__clang__)
#define QL_H264DEC_API __attribute__((visibility("default")))
#else
#define QL_H264DEC_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * One decoder. "in" fields are read by the library, "out" fields are written
 * by it. Set threads and outputFormat before the first QL_H264dec_GetOneFrame
 * (the viewer sets them before QL_H264dec_Init).
 */
typedef struct DecoderHandle {
    int32_t level;       /* out: level_idc of the active sequence parameter set */
    int32_t profile;     /* out: profile_idc of the active sequence parameter set (66 = Baseline) */
    int32_t codedWidth;  /* out: PicWidthInMbs * 16, in pixels */
    int32_t codedHeight; /* out: FrameHeightInMbs * 16, in pixels */
    void* context;       /* library-owned; null before Init and after Uninit */
    int32_t threads;     /* in: decoding threads asked for (<= 0: one per processor; at most 8) */
    int32_t outputFormat; /* in: 0 planar 4:2:0, 1 planar 4:2:2, 2 R,G,B, 3 B,G,R (24-bit) */
    double decodeTicks;  /* out: nanoseconds spent in the core's frame decoding, summed */
    double convertTicks; /* out: nanoseconds spent in the output conversion, summed */
} DecoderHandle;

/*
 * Creates the decoder context and stores it into handle->context; zeroes the
 * two tick sums. Returns 0, or -1 when the decoder could not be created (the
 * context field is then left unwritten). Does not check whether the handle
 * already holds a context: call QL_H264dec_Uninit first to start over.
 */
QL_H264DEC_API int32_t QL_H264dec_Init(DecoderHandle* handle);

/*
 * Decodes one access unit of length bytes and, when a picture is ready,
 * writes it into output. The output buffer must hold one picture of the
 * displayed (cropped) size W x H: W*H*3/2 bytes for format 0, W*H*2 for
 * format 1, W*H*3 for formats 2 and 3; rows are top-down without padding.
 *
 * Results:
 *    0  a picture is in output
 *    5  a picture is in output and more are waiting: call again with the same input
 *    1  the stream's parameters were set up: call again at once with the same input
 *   -5  a sequence parameter set changed under its own id (a new stream):
 *       QL_H264dec_Uninit, QL_H264dec_Init, then call again with the same
 *       input. Picture parameter sets and sets with other ids are taken in
 *       stride.
 *   -6  the stream is not Baseline profile (profile_idc above 66) and is refused
 *    2  the first sequence parameter set was stored; nothing to show
 *    4  nothing to show (see QL_H264dec_GetLastStatus for why)
 *   -3  bitstream is null or length is 0
 *   -1  a parameter set was too long, or the parameter setup failed
 *   -2  the call could not complete (no context, or a fault was caught);
 *       nothing to show
 */
QL_H264DEC_API int32_t QL_H264dec_GetOneFrame(DecoderHandle* handle, const uint8_t* bitstream,
                                              uint32_t length, uint8_t* output);

/* Frees the context and sets handle->context to null. Safe on a null handle
 * or a handle without context. */
QL_H264DEC_API void QL_H264dec_Uninit(DecoderHandle* handle);

/*
 * The status of the last QL_H264dec_GetOneFrame on this handle; -1 when handle
 * or its context is null, or when the last call ended by a caught fault.
 *    0 no input               11 input replaced the accumulated pieces
 *    1 SPS too long (>= 256)  12 no access unit ready
 *    2 SPS changed            13 new parameter sets seen while splitting
 *    3 first SPS stored       14 one new parameter set seen while splitting
 *    4 PPS too long (>= 256)  15 a fault in the frame decoding; decoder reset
 *    5 PPS changed            16 incomplete picture kept for accumulation
 *    6 first PPS stored       17 the core needs more data
 *    7 SEI only               18 the core reported an error; decoder reset
 *    8 waiting for an IDR     19 no 4-byte start code in the input
 *    9 parameter setup ran    20 a picture was delivered
 *   10 repeated SPS/PPS only  21 a picture was delivered, more are waiting
 */
QL_H264DEC_API int32_t QL_H264dec_GetLastStatus(const DecoderHandle* handle);

/* A small banner: 132 x 32 luma samples followed by two 66 x 16 chroma planes
 * (planar 4:2:0, 8-bit). */
QL_H264DEC_API extern const unsigned char g_ql_logo[6336];

#ifdef __cplusplus
}
#endif

#endif /* QUORLIN_H264_DEC_H */

// Placeholder until the engine lands.
#include "Framework.h"

namespace QLMedia {
class H264Engine {};
H264VideoDecoder::H264VideoDecoder() = default;
H264VideoDecoder::~H264VideoDecoder() = default;
int32_t H264VideoDecoder::Init(BaseCodecParams*) { return QL_OK; }
int32_t H264VideoDecoder::GetFrame(MediaData*, MediaData*) { return QL_ERR_NOT_ENOUGH_DATA; }
int32_t H264VideoDecoder::GetInfo(BaseCodecParams*) { return QL_ERR_NO_STREAM_INFO; }
int32_t H264VideoDecoder::Close() { return QL_OK; }
int32_t H264VideoDecoder::Reset() { return QL_OK; }
void H264VideoDecoder::SetLastPiece(bool) {}
int32_t H264VideoDecoder::ExpectedPieces() const { return 1; }
} // namespace QLMedia

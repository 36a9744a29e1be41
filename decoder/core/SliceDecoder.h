// Slice data decoding (ITU-T H.264 clauses 7.3.4, 7.3.5 with CAVLC): parses
// every macroblock of a slice and reconstructs it into the current picture
// (prediction plus residual); deblocking runs later over the whole picture.
#pragma once

#include "BitReader.h"
#include "ParameterSets.h"
#include "Picture.h"
#include "SliceHeader.h"

#include <cstdint>
#include <vector>

namespace QLMedia {

struct RefPicture {
    PicturePlanes planes;
    const void* identity = nullptr; // the same picture gives the same identity
};

// Told of every macroblock as soon as it is reconstructed, in decoding order.
class MacroblockListener {
public:
    virtual void MacroblockDone(int addr) = 0;

protected:
    ~MacroblockListener() = default;
};

struct SliceContext {
    const SequenceParameterSet* sps = nullptr;
    const PictureParameterSet* pps = nullptr;
    const SliceHeader* header = nullptr;
    PicturePlanes picture;
    MbInfo* mbs = nullptr; // widthMbs * heightMbs, raster order
    int sliceNumber = 0;
    const std::vector<uint8_t>* sliceGroupMap = nullptr; // empty: one group
    std::vector<RefPicture> refList; // list 0, already modified; identity null = missing
    MacroblockListener* listener = nullptr;
};

// Decodes the slice data that follows the header in `br`. Returns 0 or an
// error status; `decodedMbs` counts the macroblocks reconstructed.
int32_t DecodeSliceData(BitReader& br, const SliceContext& ctx, int& decodedMbs);

} // namespace QLMedia

// Slice data decoding (ITU-T H.264 clauses 7.3.4, 7.3.5 with CAVLC) in two
// steps per macroblock. Parsing reads the macroblock's syntax into its
// MbInfo and a MacroblockWork record (motion vectors included) and checks
// everything that could make reconstruction fail; reconstruction turns the
// record into samples (prediction plus residual). Parsing never touches
// samples, so the two steps may run on different threads, as long as
// macroblocks are reconstructed in the order they were parsed. Deblocking
// comes after reconstruction.
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

// Neighbouring macroblocks usable for intra prediction (MacroblockWork::neighbours).
enum IntraNeighbour : uint8_t {
    kNeighbourLeft = 1,
    kNeighbourTop = 2,
    kNeighbourTopRight = 4,
    kNeighbourTopLeft = 8,
};

// What reconstruction needs of a parsed macroblock besides its MbInfo.
struct alignas(64) MacroblockWork {
    struct Partition {
        uint8_t x, y, w, h; // luma samples inside the macroblock
        uint8_t ref;        // index into refList
        MotionVector mv;
    };

    // What every macroblock sets comes first, on as few cache lines as
    // possible: with two threads each line written here moves to the other
    // core. The level arrays are written only where there are levels.
    int addr = 0;
    int qp = 0; // QP_Y of the residual
    int chromaQpOffset[2] = {};
    uint8_t neighbours = 0; // IntraNeighbour bits
    uint8_t intra16x16Mode = 0;
    uint8_t intraChromaMode = 0;
    uint8_t partitionCount = 0;
    uint8_t tables = 0; // which of the engine's picture tables the record belongs to
    const std::vector<RefPicture>* refList = nullptr;
    bool lumaCoded[16];     // per raster 4x4 block: levels in `luma`
    bool chromaCoded[2][4]; // per chroma block: AC levels in `chroma`
    Partition partitions[16];
    int32_t lumaDc[16];     // Intra16x16 only: DC levels in raster order of the blocks
    int32_t chromaDc[2][4]; // with chroma levels only
    // Levels per raster block at raster coefficient positions. An I_PCM
    // macroblock, which has none, keeps its 384 samples in these bytes
    // instead (Pcm()): 256 luma, then 64 Cb, 64 Cr, rows in order.
    int16_t luma[16][16];
    int16_t chroma[2][4][16];

    static_assert(sizeof(luma) >= 384);
    uint8_t* Pcm() { return reinterpret_cast<uint8_t*>(luma); }
    const uint8_t* Pcm() const { return reinterpret_cast<const uint8_t*>(luma); }
};

// Takes the macroblocks of a slice as they are parsed: Slot gives the record
// to fill, Commit hands it on once the macroblock parsed without error.
class MacroblockSink {
public:
    virtual MacroblockWork& Slot() = 0;
    virtual void Commit() = 0;

protected:
    ~MacroblockSink() = default;
};

struct SliceContext {
    const SequenceParameterSet* sps = nullptr;
    const PictureParameterSet* pps = nullptr;
    const SliceHeader* header = nullptr;
    MbInfo* mbs = nullptr; // widthMbs * heightMbs, raster order
    int sliceNumber = 0;
    const std::vector<uint8_t>* sliceGroupMap = nullptr; // empty: one group
    // List 0, already modified; identity null = missing. It must outlive the
    // reconstruction of the slice's macroblocks.
    const std::vector<RefPicture>* refList = nullptr;
    MacroblockSink* sink = nullptr;
};

// Parses the slice data that follows the header in `br`, handing every
// macroblock to ctx.sink. Returns 0 or an error status; `decodedMbs` counts
// the macroblocks committed.
int32_t DecodeSliceData(BitReader& br, const SliceContext& ctx, int& decodedMbs);

// Reconstructs a parsed macroblock into the picture. The macroblocks it
// predicts from must be reconstructed and not yet deblocked.
void ReconstructMacroblock(const MacroblockWork& work, const MbInfo& mb, const PicturePlanes& picture,
                           int widthMbs);

} // namespace QLMedia

// Inputs for the tests of the decoder library's interface: access units and
// NAL units of the conformance streams, and a handle that cleans up after
// itself.
#pragma once

#include "Quorlin_H264_Dec.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace apitest {

using Bytes = std::vector<uint8_t>;

// relative: a path below tests/data/conformance, e.g. "baseline/BA_MW_D.264".
Bytes ReadData(const std::string& relative);
// The stream's access units with 4-byte start codes, at most maxUnits.
std::vector<Bytes> AccessUnits(const std::string& relative, size_t maxUnits = SIZE_MAX);
// The reference MD5 lines of a baseline stream ("baseline/NAME.md5").
std::vector<std::string> ReferenceMd5(const std::string& relative);
// The NAL units of an access unit, each with its 4-byte start code.
std::vector<Bytes> NalUnitsOf(const Bytes& accessUnit);
// The first NAL unit of the given type in the access unit (with start code).
Bytes NalUnitOfType(const Bytes& accessUnit, int type);

Bytes Join(const std::vector<Bytes>& parts);
std::string Md5Of(const uint8_t* data, size_t size);

// A decoder handle, initialised on construction and released at the end.
struct Decoder {
    explicit Decoder(int threads = 1, int outputFormat = 0);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    int32_t Call(const Bytes& input, uint8_t* output);
    int32_t Status() const { return QL_H264dec_GetLastStatus(&handle); }
    // Calls as the viewer does until a picture arrives or nothing is left to
    // do; the last result.
    int32_t CallUntilDone(const Bytes& input, uint8_t* output, int* pictures = nullptr);

    DecoderHandle handle{};
    int32_t initResult = -1;
};

} // namespace apitest

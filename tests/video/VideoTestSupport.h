// Shared pieces of the decode-path tests: a recording UiBridge, a renderer
// with everything it is wired to, and frame blocks built with dvrformat.
#pragma once

#include "support/RecordingNotifier.h"
#include "video/ChannelModel.h"
#include "video/ChannelRenderer.h"
#include "video/PaneStore.h"

#include "dvrformat/FrameHeader.h"
#include "net/UiBridge.h"
#include "net/ViewerState.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarnvik::test {

class RecordingUiBridge : public UiBridge {
public:
    void PaneChanged(int pane) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        panes_.push_back(pane);
    }
    void RecordingIndicator(bool) override {}
    void FrameLine(const std::string&) override {}
    void ControlsEnabled(bool) override {}
    void SessionChanged(bool, const std::string&) override {}
    void CommandTaskEnded(int) override {}
    std::vector<int> Panes() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return panes_;
    }

private:
    mutable std::mutex lock_;
    std::vector<int> panes_;
};

// A renderer and its surroundings, fresh per test.
struct RendererRig {
    explicit RendererRig(DecoderApi api = {}, int pictureWorkers = DefaultPictureWorkerCount())
        : model(notifier, std::move(api)), renderer(state, model, panes, ui, pictureWorkers)
    {
    }
    ViewerState state;
    RecordingNotifier notifier;
    ChannelModel model;
    PaneStore panes;
    RecordingUiBridge ui;
    CChannelRenderer renderer;
};

// A header of the given CodecKind's length followed by `payload`.
inline std::vector<uint8_t> FrameBlock(const dvrformat::FrameHeader& header, size_t headerLength,
                                       const std::vector<uint8_t>& payload = {})
{
    std::vector<uint8_t> block(headerLength + payload.size());
    header.Write(block.data(), headerLength);
    std::copy(payload.begin(), payload.end(), block.begin() + long(headerLength));
    return block;
}

// A video header for kind 3 (type word 0x2200) unless changed by the caller.
inline dvrformat::FrameHeader VideoHeader(int channel, int resolution, uint32_t videoLength)
{
    dvrformat::FrameHeader h;
    h.kind = 3;
    h.typeWord = 0x2200;
    h.channel = uint8_t(channel);
    h.resolution = uint8_t(resolution);
    h.codec = 1;
    h.videoLength = videoLength;
    h.pictureType = 1;
    h.fullHeight = true;
    return h;
}

// Parses a frame block and decodes its video through the renderer, as the
// receive path does.
inline bool Feed(RendererRig& rig, const dvrformat::FrameHeader& h, const std::vector<uint8_t>& payload, int* frameKind = nullptr)
{
    const size_t headerLength = h.kind == 3 ? 40 : 32;
    const auto block = FrameBlock(h, headerLength, payload);
    int kind = 0;
    if (!rig.renderer.ParseFrameHeader(block.data(), block.size(), kind, false))
        return false;
    if (frameKind)
        *frameKind = kind;
    return rig.renderer.DecodeAndShow(block.data() + headerLength, rig.renderer.Frame().videoLength, 0);
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Splits an Annex B stream into access units of one picture each: every
// NAL unit before a slice (SPS, PPS, SEI) travels with that slice. The
// clips have one slice per picture. Units are re-emitted behind 4-byte
// start codes.
inline std::vector<std::vector<uint8_t>> SplitAccessUnits(const std::vector<uint8_t>& s)
{
    std::vector<size_t> starts; // offset of each NAL header byte
    for (size_t i = 0; i + 3 <= s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1)
            starts.push_back(i + 3);
    std::vector<std::vector<uint8_t>> units;
    std::vector<uint8_t> current;
    for (size_t n = 0; n < starts.size(); ++n) {
        size_t end = n + 1 < starts.size() ? starts[n + 1] - 3 : s.size();
        while (end > starts[n] && s[end - 1] == 0)
            --end; // zero bytes before a start code belong to no unit
        static const uint8_t kStart[4] = {0, 0, 0, 1};
        current.insert(current.end(), kStart, kStart + 4);
        current.insert(current.end(), s.begin() + long(starts[n]), s.begin() + long(end));
        const int type = s[starts[n]] & 0x1F;
        if (type == 1 || type == 5) {
            units.push_back(std::move(current));
            current.clear();
        }
    }
    return units;
}

} // namespace tarnvik::test

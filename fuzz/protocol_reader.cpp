// Untrusted input: everything a DVR sends on the session connection. The
// input is sent by a loopback peer and read with the viewer's own reader
// until the connection ends; no read may leave the receive or frame buffer.
#include "net/DvrProtocol.h"
#include "support/LoopbackPeer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

namespace {

class SilentNotifier : public tarnvik::Notifier {
public:
    tarnvik::MessageAnswer ShowMessage(const std::string&, tarnvik::MessageIcon, tarnvik::MessageButtons) override
    {
        return tarnvik::MessageAnswer::Ok;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tarnvik;
    static std::unique_ptr<uint8_t[]> frame(new uint8_t[dvrformat::kFrameBufferSize]);
    test::LoopbackPeer peer;
    SilentNotifier notifier;
    DvrSocket socket(std::chrono::milliseconds(2000));
    if (!socket.Open("127.0.0.1", peer.Port()) || !peer.Accept())
        return 0;
    DvrProtocol protocol(socket, notifier, std::chrono::milliseconds(0));
    protocol.BeginConnection();
    // The first byte picks the DVR type, which changes how the reader resynchronises.
    protocol.SetDvrTypeWord(size > 0 && (data[0] & 1) ? 0x2200 : 0x22F0);
    std::thread sender([&peer, data, size] {
        peer.Send(std::vector<uint8_t>(data, data + size));
        peer.Close();
    });
    for (;;) {
        const ReadResult r = protocol.ReadMessage();
        if (r.kind == ReadResult::Kind::Ended)
            break;
        const uint8_t code = r.header.code;
        if (code == dvrformat::cmd::Live || code == dvrformat::cmd::Playback) {
            if (protocol.ReadVideoMessage(r.header, frame.get(), dvrformat::kFrameBufferSize).status ==
                VideoMessage::Status::Ended)
                break;
        } else if (code == dvrformat::cmd::Error && !protocol.HandleErrorReply(r.header)) {
            break;
        }
    }
    sender.join();
    return 0;
}

// Untrusted input: everything a DVR sends on the session connection. The
// bytes are read from memory by the viewer's own protocol reader and handled
// as the command task handles them: the login reply and its stream-variant
// decision, live and playback data through the reception (into a stub
// decode path), error replies, the finish message. The first byte chooses
// the state the connection starts in (logged in or not, the DVR type, the
// view and the mode), so that inputs need not begin with a login reply.
//
// Nothing is allocated per input: the reader, the reception and their
// buffers live for the whole run and are reset per input, as for a new
// connection.
#include "FuzzSupport.h"

#include "net/ByteStream.h"
#include "net/DvrProtocol.h"
#include "net/DvrSession.h"
#include "net/LiveReception.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace tarnvik;

namespace {

class MemoryStream : public ByteStream {
public:
    void Reset(const uint8_t* data, size_t size)
    {
        data_ = data;
        left_ = size;
    }
    int ReceiveExact(uint8_t* buffer, size_t n) override
    {
        std::memset(buffer, 0, n);
        const size_t got = std::min(n, left_);
        if (got > 0)
            std::memcpy(buffer, data_, got);
        data_ += got;
        left_ -= got;
        return int(got);
    }
    int Write(const uint8_t*, size_t n) override { return int(n); }
    bool IsConnected() const override { return true; }

private:
    const uint8_t* data_ = nullptr;
    size_t left_ = 0;
};

struct Connection {
    Connection()
        : protocol(stream, notifier, std::chrono::milliseconds(0))
        , reception(state, sink, decodeLock, ui, notifier, protocol, frames, [this] { state.stopFlag = true; },
                    PacingClock{[this] { return nowMs += 40; }, [](int64_t) {}})
    {
    }
    MemoryStream stream;
    fuzz::SilentNotifier notifier;
    fuzz::SilentBridge ui;
    fuzz::StubSink sink;
    std::mutex decodeLock;
    ViewerState state;
    FrameList frames;
    DvrProtocol protocol;
    LiveReception reception;
    int64_t nowMs = 0;
};

// What the session does with a login reply: false ends the connection.
bool OnLoginReply(Connection& c)
{
    const LoginDecision decision = DecideLogin(c.protocol.Payload(), c.protocol.PayloadSize());
    if (decision.outcome != LoginDecision::Outcome::Accepted)
        return false;
    c.state.typeWord = decision.reply.type;
    c.protocol.SetDvrTypeWord(decision.reply.type);
    c.state.codecKind = decision.codecKind;
    c.state.channelCount = 16;
    c.state.loggedIn = true;
    c.sink.ResetChannels();
    c.reception.RequestReset();
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Connection c;
    const uint8_t setup = size > 0 ? data[0] : 0;
    c.stream.Reset(data + (size > 0), size - (size > 0));
    c.protocol.BeginConnection();
    c.sink.ResetChannels();
    c.reception.Reset();
    c.frames.Clear();

    static const uint32_t kTypes[] = {dvrformat::kTypeWordUnknown, dvrformat::kTypeWord2200, dvrformat::kTypeWord22F0,
                                      dvrformat::kTypeWord22F0};
    static const int kKinds[] = {dvrformat::kCodecKindUnknown, 3, 2, 1};
    static const int kDivisions[] = {4, 1, 16, 201};
    c.state.typeWord = kTypes[setup & 3];
    c.state.codecKind = kKinds[setup & 3];
    c.protocol.SetDvrTypeWord(kTypes[setup & 3]);
    c.state.loggedIn = (setup & 3) != 0;
    c.state.division = kDivisions[(setup >> 2) & 3];
    c.state.selectedChannel = (setup >> 4) & 3;
    c.state.mode = (setup & 0x40) ? kModeRemotePlayback : kModeLive;
    c.state.minimised = false;
    c.state.stopFlag = false;
    if (setup & 0x80) {
        c.reception.recorder = [](const uint8_t* block, size_t blockSize, int) {
            // The recorder keeps the whole block: it must all be readable.
            volatile uint8_t last = blockSize > 0 ? block[blockSize - 1] : 0;
            (void)last;
        };
    } else {
        c.reception.recorder = nullptr;
    }

    while (!c.state.stopFlag.load()) {
        const ReadResult read = c.protocol.ReadMessage();
        if (read.kind == ReadResult::Kind::Ended)
            break;
        const uint8_t code = read.header.code;
        if (code == dvrformat::cmd::Login) {
            if (!OnLoginReply(c))
                break;
        } else if (code == dvrformat::cmd::Live) {
            c.reception.OnLiveData(read.header);
        } else if (code == dvrformat::cmd::Playback) {
            c.reception.OnPlaybackData(read.header);
        } else if (code == dvrformat::cmd::Finish) {
            break;
        } else if (code == dvrformat::cmd::Error && !c.protocol.HandleErrorReply(read.header)) {
            break;
        }
    }
    c.state.stopFlag = true;
    return 0;
}

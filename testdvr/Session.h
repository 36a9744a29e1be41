// One viewer connection to the test DVR: a reader thread that answers
// requests, and a streamer thread that sends live pictures at the clips'
// rate. Everything written to the socket goes through Send, one message at a
// time, so replies and pictures never interleave.
#pragma once

#include "DvrServer.h"

#include "dvrformat/Messages.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace testdvr {

// The DVR's clock, which every picture carries: local wall-clock time
// counted as if it were UTC.
void DvrNow(uint32_t& seconds, uint16_t& milliseconds);

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(DvrServer& server, int fd, std::string peer);
    ~Session();

    void Start();
    // Closes the connection and joins both threads.
    void Stop();
    bool Finished() const { return finished_.load(); }

    void SendFinish();
    void SendError(uint16_t code);
    void SendStatus();
    void Drop();
    void InjectFault(const std::string& name); // strikes at the next picture
    void SetStalled(bool stalled);

private:
    void ReadLoop();
    void StreamLoop();
    void HandleRequest(const dvrformat::MessageHeader& header, const uint8_t* payload);
    void HandleLogin(const uint8_t* payload);
    void HandleLive(const dvrformat::MessageHeader& header, const dvrformat::StreamRequest& request);
    void SendPicture(int channel);
    // Builds a live data message for one picture into message_.
    void BuildPicture(int channel, std::vector<uint8_t>& message);
    bool Send(const uint8_t* data, size_t size, bool slow);
    bool SendHeaderAndPayload(uint8_t code, uint8_t sub, const uint8_t* payload, size_t size);
    // Sends or does what the fault says. False when no more pictures are to
    // be sent for now (the connection ended or the stream stalled).
    bool ApplyFault(const std::string& fault, int channel);

    DvrServer& server_;
    const Options& options_;
    int fd_;
    std::string peer_;
    std::thread reader_;
    std::thread streamer_;
    std::atomic<bool> closing_{false};
    std::atomic<bool> finished_{false};
    std::mutex sendLock_; // one message on the wire at a time

    // Stream state, guarded by stateLock_.
    std::mutex stateLock_;
    std::condition_variable wake_;
    bool loggedIn_ = false;
    uint32_t streamMask_ = 0;
    bool paused_ = false;
    bool withAudio_ = false;
    bool stalled_ = false;
    std::string pendingFault_;
    int nextPicture_[16] = {};
    int sequence_[16] = {};

    // Streamer thread only.
    long picturesSent_ = 0;
    std::vector<uint8_t> message_;
    uint32_t audioPhase_[16] = {};
};

} // namespace testdvr

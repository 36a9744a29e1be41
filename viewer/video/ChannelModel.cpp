#include "ChannelModel.h"

#include "net/Notifier.h"

#include <utility>

namespace tarnvik {

ChannelModel::ChannelModel(Notifier& notifier, DecoderApi api) : notifier_(notifier), api_(std::move(api)) {}

ChannelModel::~ChannelModel()
{
    for (DecoderHandle& h : handles_)
        if (h.context)
            api_.uninit(&h);
}

int ChannelModel::InitOne(int index)
{
    DecoderHandle& h = handles_[index];
    h.threads = 1;
    h.outputFormat = kDecoderOutputBgr;
    if (api_.init(&h) == 0)
        return 0;
    notifier_.ShowMessage("H.264 Decoder Init Error !", MessageIcon::None, MessageButtons::Ok);
    return 1;
}

int ChannelModel::InitDecoders()
{
    int failures = 0;
    for (int i = 0; i < kDecoderCount; ++i)
        failures += InitOne(i);
    return failures;
}

int ChannelModel::RecreateDecoders()
{
    int failures = 0;
    for (int i = 0; i < kDecoderCount; ++i) {
        api_.uninit(&handles_[i]);
        failures += InitOne(i);
    }
    return failures;
}

} // namespace tarnvik

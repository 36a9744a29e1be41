#include "ApiTestStreams.h"

#include "AnnexB.h"
#include "Md5.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace apitest {

Bytes ReadData(const std::string& relative)
{
    const std::string path = std::string(QL_CONFORMANCE_DIR) + "/" + relative;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<Bytes> AccessUnits(const std::string& relative, size_t maxUnits)
{
    const Bytes stream = ReadData(relative);
    const auto units = qldec::SplitNalUnits(stream.data(), stream.size());
    const auto groups = qldec::GroupAccessUnits(stream.data(), units);
    std::vector<Bytes> out;
    for (const auto& g : groups) {
        if (out.size() == maxUnits)
            break;
        out.emplace_back();
        qldec::BuildAccessUnit(stream.data(), &units[g.first], g.count, out.back());
    }
    return out;
}

std::vector<std::string> ReferenceMd5(const std::string& relative)
{
    const Bytes text = ReadData(relative);
    std::vector<std::string> lines;
    std::string line;
    for (uint8_t c : text) {
        if (c == '\n') {
            if (!line.empty())
                lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += char(c);
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::vector<Bytes> NalUnitsOf(const Bytes& accessUnit)
{
    const auto units = qldec::SplitNalUnits(accessUnit.data(), accessUnit.size());
    std::vector<Bytes> out;
    for (const auto& u : units) {
        out.emplace_back();
        qldec::BuildAccessUnit(accessUnit.data(), &u, 1, out.back());
    }
    return out;
}

Bytes NalUnitOfType(const Bytes& accessUnit, int type)
{
    for (const Bytes& unit : NalUnitsOf(accessUnit)) {
        if ((unit[4] & 0x1F) == type)
            return unit;
    }
    throw std::runtime_error("no NAL unit of type " + std::to_string(type));
}

Bytes Join(const std::vector<Bytes>& parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::string Md5Of(const uint8_t* data, size_t size)
{
    return qldec::Md5Hex(data, size);
}

Decoder::Decoder(int threads, int outputFormat)
{
    handle.threads = threads;
    handle.outputFormat = outputFormat;
    initResult = QL_H264dec_Init(&handle);
}

Decoder::~Decoder()
{
    QL_H264dec_Uninit(&handle);
}

int32_t Decoder::Call(const Bytes& input, uint8_t* output)
{
    return QL_H264dec_GetOneFrame(&handle, input.data(), uint32_t(input.size()), output);
}

int32_t Decoder::CallUntilDone(const Bytes& input, uint8_t* output, int* pictures)
{
    int32_t r = 0;
    for (int call = 0; call < 16; ++call) {
        r = Call(input, output);
        if (r == 1)
            continue;
        if (r == -5) {
            QL_H264dec_Uninit(&handle);
            QL_H264dec_Init(&handle);
            continue;
        }
        if ((r == 0 || r == 5) && pictures)
            ++*pictures;
        if (r != 5)
            break;
    }
    return r;
}

} // namespace apitest

#include "stream_feed.h"

namespace e16scope {

namespace hosts = velmora::hosts;

bool StreamFeed::Open(const std::string& endpoint, std::string& error) {
    endpoint_ = endpoint;
    return reader_.Open(endpoint, error);
}

bool StreamFeed::Next(hosts::StreamBlock& block) {
    for (;;) {
        std::string error;
        switch (reader_.Next(0, block, error)) {
        case hosts::StreamReader::Got::Block:
            if (recordings_ == 0) recordings_ = 1;
            serial_ = block.header.serial;
            return true;
        case hosts::StreamReader::Got::Another:
            reader_.Follow(block.header);
            ++recordings_;
            serial_ = block.header.serial;
            return true;
        case hosts::StreamReader::Got::Refused:
            ++refused_;
            problem_ = error;
            break;
        case hosts::StreamReader::Got::Nothing:
            return false;
        }
    }
}

} // namespace e16scope

#include "core/run/namelist.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int STOP_LOOK_MS = 50; // how often a list that waits for its writer looks for a stop

} // namespace

CListEnd ReadNameList(int fd, bool bNul, size_t nameMax, const std::function<bool()>& stopped,
                      const std::function<void(const std::string&)>& handName) {
    CListEnd result;
    const char separator = bNul ? '\0' : '\n';
    std::string name;
    size_t line = 1;
    char buffer[65536];
    // The name ends: a CR before a LF is dropped.
    const auto endName = [&] {
        if (!bNul && !name.empty() && name.back() == '\r')
            name.pop_back();
        if (name.size() > nameMax) {
            result = {false, line, "a name longer than 1 MiB"};
            return false;
        }
        if (!name.empty())
            handName(name);
        name.clear();
        return true;
    };
    while (!stopped()) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, STOP_LOOK_MS);
        if (polled == 0 || (polled < 0 && errno == EINTR))
            continue;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) {
            result.bReadFailed = got < 0;
            break;
        }
        const char* at = buffer;
        const char* const end = buffer + got;
        while (at < end && !stopped()) {
            const char* sep = static_cast<const char*>(std::memchr(at, separator, end - at));
            const char* stop = sep != nullptr ? sep : end;
            if (!bNul && std::memchr(at, '\0', stop - at) != nullptr)
                return {false, line, "a name holds a NUL byte: use --null for NUL-separated lists"};
            // One byte more than the longest name: it may be the CR of a CR LF.
            if (name.size() + static_cast<size_t>(stop - at) > nameMax + 1)
                return {false, line, "a name longer than 1 MiB"};
            name.append(at, stop);
            if (sep == nullptr)
                break;
            if (!endName())
                return result;
            ++line;
            at = sep + 1;
        }
    }
    if (!result.bReadFailed && !stopped())
        endName();
    return result;
}

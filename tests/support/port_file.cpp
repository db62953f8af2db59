#include "support/port_file.h"

#include <chrono>
#include <thread>

#include "common/file_io.h"
#include "common/integer_text.h"

std::optional<std::uint16_t> WaitForPortFile(const std::string& path, ChildProcess& child, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        // The port file appears whole or not at all.
        if (const auto text = ReadWholeFile(path)) {
            const auto port = ReadIntegerText(text->substr(0, text->find_first_of("\r\n")));
            if (port && *port > 0 && *port <= 65535)
                return static_cast<std::uint16_t>(*port);
        }
        if (!child.Running())
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

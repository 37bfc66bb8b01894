// Turns arbitrary text into an address the way the program does for a
// request, and checks what libcurl would be handed: http or https with a
// host, nothing raw that the wire may not carry, and stable (read again, it
// gives itself, so nothing is escaped twice). Then classifies the host as the
// connection check would.

#include "platform/core/AsciiText.h"
#include "platform/http/HttpRequest.h"
#include "platform/http/NetworkReach.h"

#include <QString>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QUrl address = tessaro::HttpAddress(text);
    const std::string wire = tessaro::WireAddress(address);
    if (wire.empty())
        return 0;

    if (!tessaro::StartsWithIgnoringAsciiCase(wire, "http://") &&
        !tessaro::StartsWithIgnoringAsciiCase(wire, "https://"))
        __builtin_trap();
    if (wire.find_first_of(" #\"<>") != std::string::npos || tessaro::HoldsControlCharacter(wire))
        __builtin_trap();
    for (const char c : wire) {
        if (static_cast<unsigned char>(c) >= 0x80)
            __builtin_trap();
    }
    if (address.host().isEmpty())
        __builtin_trap();

    // What is sent, read again as the next hop's address would be, is sent
    // unchanged.
    const QUrl again = tessaro::HttpAddress(QString::fromStdString(wire));
    if (tessaro::WireAddress(again) != wire)
        __builtin_trap();

    tessaro::ClassifyAddressText(address.host(QUrl::FullyEncoded).toStdString());
    return 0;
}

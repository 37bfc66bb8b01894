#include "scan/AddressRules.h"

namespace tessaro {

std::u16string EncodeSpaces(std::u16string_view text)
{
    return std::u16string(text);
}

std::u16string ResolveAddress(std::u16string_view, std::u16string_view reference)
{
    return std::u16string(reference);
}

}  // namespace tessaro

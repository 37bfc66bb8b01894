#pragma once

#include <string>
#include <string_view>

namespace tessaro::test {

// data as one gzip member, as a crawler writes each record.
std::string Gzip(std::string_view data);

}  // namespace tessaro::test

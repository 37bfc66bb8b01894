#include "platform/urlcache/CheckoutRecords.h"

#include "platform/files/AtomicFile.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <vector>

namespace tessaro {

namespace {

std::string Escaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += '%';
            out += kHex[(static_cast<unsigned char>(c) >> 4) & 15];
            out += kHex[static_cast<unsigned char>(c) & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::string Unescaped(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned value = 0;
        if (text[i] == '%' && i + 2 < text.size() &&
            std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr == text.data() + i + 3) {
            out += static_cast<char>(value);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    while (true) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos)
            return fields;
        line.remove_prefix(tab + 1);
    }
}

}  // namespace

bool StampOf(const std::filesystem::path& path, FileStamp& stamp)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.modifiedNs = std::int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    return true;
}

CheckoutRecords::CheckoutRecords(std::filesystem::path contentFolder) : contentFolder_(std::move(contentFolder))
{
}

void CheckoutRecords::Load()
{
    records_.clear();
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(FilePath(), error);
    if (error || size > kMaxFileBytes)
        return;
    std::ifstream file(FilePath(), std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        const std::vector<std::string_view> fields = Fields(line);
        Record record;
        if (fields.size() != 6 || !ParseNumber(fields[1], record.container.size) ||
            !ParseNumber(fields[2], record.container.modifiedNs) || !ParseNumber(fields[4], record.checkoutFile.size) ||
            !ParseNumber(fields[5], record.checkoutFile.modifiedNs))
            continue;
        record.checkout = Unescaped(fields[3]);
        // Only check-outs in this folder: the file names what the walk may keep.
        if (record.checkout.parent_path().parent_path() != contentFolder_)
            continue;
        records_[Unescaped(fields[0])] = std::move(record);
    }
}

bool CheckoutRecords::Save()
{
    if (!changed_)
        return true;
    std::ostringstream text;
    for (const auto& [container, record] : records_) {
        text << Escaped(container) << '\t' << record.container.size << '\t' << record.container.modifiedNs << '\t'
             << Escaped(record.checkout.string()) << '\t' << record.checkoutFile.size << '\t'
             << record.checkoutFile.modifiedNs << '\n';
    }
    const std::string bytes = text.str();
    std::error_code error;
    std::filesystem::create_directories(contentFolder_, error);
    AtomicFile file(FilePath().string());
    changed_ = !(file.Open() && file.Write(bytes.data(), bytes.size()) && file.Commit());
    return !changed_;
}

const CheckoutRecords::Record* CheckoutRecords::FindCurrent(const std::string& container, const FileStamp& stamp) const
{
    const auto it = records_.find(container);
    if (it == records_.end() || it->second.container != stamp)
        return nullptr;
    FileStamp now;
    if (!StampOf(it->second.checkout, now) || now != it->second.checkoutFile)
        return nullptr;
    return &it->second;
}

void CheckoutRecords::Retain(const std::set<std::string>& containers)
{
    for (auto it = records_.begin(); it != records_.end();) {
        if (containers.count(it->first) != 0) {
            ++it;
        } else {
            it = records_.erase(it);
            changed_ = true;
        }
    }
}

std::set<std::filesystem::path> CheckoutRecords::Checkouts() const
{
    std::set<std::filesystem::path> paths;
    for (const auto& [container, record] : records_)
        paths.insert(record.checkout);
    return paths;
}

}  // namespace tessaro

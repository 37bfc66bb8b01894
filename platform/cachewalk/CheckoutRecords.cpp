#include "platform/cachewalk/CheckoutRecords.h"

#include "platform/cachewalk/CacheCheckout.h"
#include "platform/core/AsciiText.h"
#include "platform/core/RegularFile.h"
#include "platform/files/AtomicFile.h"

#include <algorithm>
#include <charconv>
#include <iterator>
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

CheckoutRecords::CheckoutRecords(std::filesystem::path contentFolder, std::uint64_t maxTotalBytes)
    : contentFolder_(std::move(contentFolder)), maxTotalBytes_(maxTotalBytes)
{
}

void CheckoutRecords::Load()
{
    records_.clear();
    evictable_.clear();
    evicted_.clear();
    total_ = 0;
    std::string text;
    if (ReadRegularFile(FilePath(), kMaxFileBytes, text) == RegularFileResult::Ok)
        Parse(text);
    changed_ = false;
}

void CheckoutRecords::Parse(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::vector<std::string_view> fields = Fields(line);
        Record record;
        if (fields.size() != 6 || !ParseWholeNumber(fields[1], record.container.size) ||
            !ParseWholeNumber(fields[2], record.container.modifiedNs) ||
            !ParseWholeNumber(fields[4], record.checkoutFile.size) ||
            !ParseWholeNumber(fields[5], record.checkoutFile.modifiedNs))
            continue;
        record.checkout = Unescaped(fields[3]);
        // Only check-outs as this program names them, in this folder: the
        // file names what the walk may keep and what it may remove.
        if (!IsCheckoutPath(contentFolder_, record.checkout))
            continue;
        const std::string container = Unescaped(fields[0]);
        if (const auto it = records_.find(container); it != records_.end())
            Drop(it);
        total_ += record.checkoutFile.size;
        evictable_.emplace(record.checkoutFile.modifiedNs, container);
        records_.emplace(container, std::move(record));
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

void CheckoutRecords::Pin(const std::string& container)
{
    if (const auto it = records_.find(container); it != records_.end())
        evictable_.erase({it->second.checkoutFile.modifiedNs, container});
}

void CheckoutRecords::Put(const std::string& container, Record record)
{
    if (const auto it = records_.find(container); it != records_.end()) {
        if (it->second.checkout != record.checkout) {
            std::error_code ignored;
            std::filesystem::remove(it->second.checkout, ignored);
        }
        Drop(it);
    }
    total_ += record.checkoutFile.size;
    records_.emplace(container, std::move(record));
    changed_ = true;
}

void CheckoutRecords::Drop(std::map<std::string, Record>::iterator it)
{
    evictable_.erase({it->second.checkoutFile.modifiedNs, it->first});
    total_ -= std::min(total_, it->second.checkoutFile.size);
    records_.erase(it);
    changed_ = true;
}

void CheckoutRecords::Retain(const std::set<std::string>& containers)
{
    for (auto it = records_.begin(); it != records_.end();) {
        const auto next = std::next(it);
        if (containers.count(it->first) == 0)
            Drop(it);
        it = next;
    }
}

bool CheckoutRecords::MakeRoom(std::uint64_t more)
{
    while (more > maxTotalBytes_ || total_ > maxTotalBytes_ - more) {
        if (evictable_.empty())
            return false;
        const auto it = records_.find(evictable_.begin()->second);
        if (it == records_.end()) {
            evictable_.erase(evictable_.begin());
            continue;
        }
        std::error_code ignored;
        std::filesystem::remove(it->second.checkout, ignored);
        std::filesystem::remove(it->second.checkout.parent_path(), ignored);  // only when empty
        evicted_.insert(it->first);
        Drop(it);
    }
    return true;
}

std::set<std::filesystem::path> CheckoutRecords::Checkouts() const
{
    std::set<std::filesystem::path> paths;
    for (const auto& [container, record] : records_)
        paths.insert(record.checkout);
    return paths;
}

}  // namespace tessaro

// A small streaming writer of indented JSON for the --json output of kzctl.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kzctl {

class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : out_(out) {}
    ~JsonWriter() { out_ << '\n'; }
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    // Inside an object, `key` names the member; inside an array (or at the top) pass no key.
    void beginObject(std::string_view key = {}) { open(key, '{'); }
    void endObject() { close('}'); }
    void beginArray(std::string_view key = {}) { open(key, '['); }
    void endArray() { close(']'); }

    void value(std::string_view key, std::uint64_t number) { member(key) << number; }
    void value(std::string_view key, std::int64_t number) { member(key) << number; }
    void value(std::string_view key, std::uint32_t number) { value(key, std::uint64_t{number}); }
    void value(std::string_view key, std::int32_t number) { value(key, std::int64_t{number}); }
    void value(std::string_view key, bool flag) { member(key) << (flag ? "true" : "false"); }
    void value(std::string_view key, std::string_view text) { quoted(member(key), text); }
    void value(std::string_view key, const char* text) { value(key, std::string_view(text)); }

private:
    std::ostream& member(std::string_view key) {
        if (!first_.empty()) {
            if (!first_.back()) {
                out_ << ',';
            }
            first_.back() = false;
            out_ << '\n' << std::string(2 * first_.size(), ' ');
        }
        if (!key.empty()) {
            quoted(out_, key) << ": ";
        }
        return out_;
    }
    void open(std::string_view key, char bracket) {
        member(key) << bracket;
        first_.push_back(true);
    }
    void close(char bracket) {
        const bool empty = first_.back();
        first_.pop_back();
        if (!empty) {
            out_ << '\n' << std::string(2 * first_.size(), ' ');
        }
        out_ << bracket;
    }
    static std::ostream& quoted(std::ostream& out, std::string_view text) {
        static const char* const kHex = "0123456789abcdef";
        out << '"';
        for (const char c : text) {
            const auto u = static_cast<unsigned char>(c);
            switch (c) {
            case '"': out << "\\\""; break;
            case '\\': out << "\\\\"; break;
            case '\n': out << "\\n"; break;
            case '\r': out << "\\r"; break;
            case '\t': out << "\\t"; break;
            default:
                if (u < 0x20) {
                    out << "\\u00" << kHex[u >> 4] << kHex[u & 0xF];
                } else {
                    out << c;
                }
            }
        }
        return out << '"';
    }

    std::ostream& out_;
    std::vector<bool> first_;
};

} // namespace kzctl

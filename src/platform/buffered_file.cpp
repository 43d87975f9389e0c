#include "platform/buffered_file.h"

#include <atomic>
#include <cstring>

namespace kz::platform {

namespace {

std::atomic<WriteFailurePredicate> writeFailure{nullptr};

bool injectedFailure(WriteSite site, std::size_t index)
{
    const WriteFailurePredicate fails = writeFailure.load(std::memory_order_acquire);
    return fails != nullptr && fails(site, index);
}

} // namespace

void setWriteFailurePredicate(WriteFailurePredicate predicate)
{
    writeFailure.store(predicate, std::memory_order_release);
}

// ---- reader ----

BufferedReader::~BufferedReader() { close(); }

bool BufferedReader::open(const std::string& path)
{
    close();
    return file_.open(path, File::Mode::Read);
}

bool BufferedReader::refill()
{
    std::size_t read = 0;
    if (!file_.read(block_, kBlockBytes, &read)) {
        return false;
    }
    filled_ = read;
    position_ = 0;
    return read != 0;
}

bool BufferedReader::seekBack(std::size_t bytes)
{
    if (bytes <= position_) {
        position_ -= bytes;
        return true;
    }
    // Back beyond the block: the file stands at the block's end.
    const auto unread = static_cast<std::int64_t>(filled_ - position_);
    if (!file_.seekRelative(-unread - static_cast<std::int64_t>(bytes))) {
        return false;
    }
    filled_ = 0;
    position_ = 0;
    return true;
}

bool BufferedReader::close()
{
    filled_ = 0;
    position_ = 0;
    return file_.isOpen() && file_.close();
}

// ---- writer ----

BufferedWriter::~BufferedWriter() { abandon(); }

bool BufferedWriter::create(const std::string& path)
{
    abandon();
    if (!file_.open(path, File::Mode::CreateAlways)) {
        return false;
    }
    path_ = path;
    used_ = 0;
    writes_ = 0;
    blocks_ = 0;
    failed_ = false;
    return true;
}

bool BufferedWriter::writeBlock(const void* data, std::size_t bytes)
{
    if (injectedFailure(WriteSite::Block, blocks_++)) {
        return false;
    }
    return file_.write(data, bytes);
}

bool BufferedWriter::write(const void* data, std::size_t bytes)
{
    if (!file_.isOpen() || failed_ || injectedFailure(WriteSite::Write, writes_++)) {
        failed_ = true;
        return false;
    }
    if (bytes > kBlockBytes - used_) {
        if (!flush()) {
            return false;
        }
        if (bytes >= kBlockBytes) {
            failed_ = !writeBlock(data, bytes);
            return !failed_;
        }
    }
    std::memcpy(block_ + used_, data, bytes);
    used_ += bytes;
    return true;
}

bool BufferedWriter::flush()
{
    if (!file_.isOpen() || failed_) {
        return false;
    }
    if (used_ != 0) {
        failed_ = !writeBlock(block_, used_);
        used_ = 0;
    }
    return !failed_;
}

bool BufferedWriter::closeFile()
{
    used_ = 0;
    if (!file_.isOpen()) {
        return false;
    }
    // An injected failure still closes the file, as a failed close leaves no handle behind.
    const bool refused = injectedFailure(WriteSite::Close, 0);
    return file_.close() && !refused;
}

bool BufferedWriter::close()
{
    const bool flushed = file_.isOpen() && flush();
    const bool closed = closeFile();
    return flushed && closed;
}

bool BufferedWriter::abandon() { return closeFile(); }

bool BufferedWriter::remove()
{
    if (path_.empty() || injectedFailure(WriteSite::Remove, 0)) {
        return false;
    }
    return deleteFile(path_);
}

} // namespace kz::platform

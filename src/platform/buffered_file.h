// Buffered reading and writing of whole text files, built on the platform's own file
// primitives (File, deleteFile) so that it is the same code on every operating system.
//
// The reader hands out one byte at a time from a block read ahead, and moves back over bytes
// already handed out without asking the operating system while they are still in its block.
// The writer collects the bytes it is given and writes them in large blocks; a block that the
// operating system refuses makes that write (or the flush) fail, so a caller learns of every
// failed byte before it closes the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace kz::platform {

class BufferedReader {
public:
    static constexpr std::size_t kBlockBytes = 16 * 1024;

    BufferedReader() = default;
    BufferedReader(const BufferedReader&) = delete;
    BufferedReader& operator=(const BufferedReader&) = delete;
    ~BufferedReader();

    // Opens an existing file for reading.
    bool open(const std::string& path);
    // The next byte; false at the end of the file or when the read fails.
    bool readByte(char& byte)
    {
        if (position_ == filled_ && !refill()) {
            return false;
        }
        byte = block_[position_++];
        return true;
    }
    // Moves the position back by `bytes` from the current one.
    bool seekBack(std::size_t bytes);
    bool close();

private:
    bool refill();

    File file_;
    std::size_t filled_ = 0;   // bytes of the block read from the file
    std::size_t position_ = 0; // next byte to hand out
    char block_[kBlockBytes];
};

class BufferedWriter {
public:
    static constexpr std::size_t kBlockBytes = 16 * 1024;

    BufferedWriter() = default;
    BufferedWriter(const BufferedWriter&) = delete;
    BufferedWriter& operator=(const BufferedWriter&) = delete;
    // Closes the file without writing what is still buffered: only `close` completes a file.
    ~BufferedWriter();

    // Creates the file for writing, replacing any file of that name.
    bool create(const std::string& path);
    // Takes all of `bytes`; false when the file is not open or a block write failed. After a
    // failure nothing more is written.
    bool write(const void* data, std::size_t bytes);
    // Writes what is buffered; false when that write fails.
    bool flush();
    // Flushes, then closes; false when either fails. The file is closed in any case.
    bool close();
    // Closes without writing what is still buffered; false when the close fails.
    bool abandon();
    // Deletes the file that `create` made (after `close` or `abandon`).
    bool remove();

private:
    bool writeBlock(const void* data, std::size_t bytes);
    bool closeFile();

    File file_;
    std::string path_;
    std::size_t used_ = 0;
    std::size_t writes_ = 0; // writes handed to this writer, for the failure hook
    std::size_t blocks_ = 0; // block writes made to the file, for the failure hook
    bool failed_ = false;
    char block_[kBlockBytes];
};

// Test hook: makes operations of buffered writers fail as a refusal of the operating system
// would. The predicate is asked before each write a writer is given (`Write`, counting the
// writer's writes from 0), before each block it writes to the file (`Block`, counting its
// blocks from 0), before it closes its file (`Close`) and before it deletes it (`Remove`);
// when it answers true that operation fails. nullptr removes it.
enum class WriteSite { Write, Block, Close, Remove };
using WriteFailurePredicate = bool (*)(WriteSite site, std::size_t index);
void setWriteFailurePredicate(WriteFailurePredicate predicate);

} // namespace kz::platform

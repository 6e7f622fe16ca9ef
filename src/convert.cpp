#include "convert.h"

#include "console.h"
#include "format.h"
#include "platform.h"
#include "text.h"

#include <cstdint>

namespace {

// The pass's buffers, reused for every file. The output block holds a block
// whose every byte is a bare LF.
char read_block[READ_BLOCK_SIZE];
char write_block[2 * READ_BLOCK_SIZE];

struct Source {
    File file;
    SysError error;
};

long read_source(void* context, char* buffer, std::size_t size) {
    auto* source = static_cast<Source*>(context);
    return read_file(source->file, buffer, size, &source->error);
}

// A failure the pass reports: the file it concerns and the system's error.
struct Failure {
    const char* name;
    SysError error;
};

constexpr Failure NO_FAILURE = {nullptr, 0};

enum class Header { accepted, rejected, failed };

Header read_header(TextReader& reader, const HeaderLayout& layout, std::int32_t* value) {
    char line[LINE_BUFFER_SIZE];
    for (int index = 0; index < layout.line_count; ++index) {
        std::size_t length = 0;
        ReadStatus status = read_header_line(reader, line, &length);
        if (status == ReadStatus::error) return Header::failed;
        if (status == ReadStatus::end || !layout.read_line(index, {line, length}, value))
            return Header::rejected;
    }
    return Header::accepted;
}

// Writes the new header and the converted body into `temp`, starting with
// what reading the header left in the reader's buffer.
Failure write_converted(const char* header, std::size_t header_size, TextReader& reader,
                        Source& source, File temp, const char* name) {
    std::size_t size = encode_text(header, header_size, write_block);
    if (SysError error = write_file(temp, write_block, size)) return {TEMP_FILE_NAME, error};
    BodyState body{false, reader.text_ended};
    std::size_t pending = reader.len - reader.pos;
    const char* block = reader.buffer + reader.pos;
    std::size_t written = size;
    while (!body.ended) {
        BodyChunk chunk = convert_body(body, block, pending, write_block);
        if (SysError error = write_file(temp, chunk.data, chunk.size))
            return {TEMP_FILE_NAME, error};
        written += chunk.size;
        // Sized so that, while the body needs no change, the next write ends
        // on a block boundary of the temporary file.
        std::size_t next = READ_BLOCK_SIZE - written % READ_BLOCK_SIZE;
        long got = read_file(source.file, read_block, next, &source.error);
        if (got < 0) return {name, source.error};
        body.ended = body.ended || got == 0;
        block = read_block;
        pending = static_cast<std::size_t>(got);
    }
    return NO_FAILURE;
}

// Writes the converted file into the temporary file and makes it durable.
Failure write_temp_file(const char* name, int number, const FileInfo& info, TextReader& reader,
                        Source& source, const HeaderLayout& to, std::int32_t value) {
    File temp;
    if (SysError error = create_temp_file(TEMP_FILE_NAME, info, &temp))
        return {TEMP_FILE_NAME, error};
    char header[HEADER_TEXT_SIZE];
    std::size_t header_size = to.write(value, number, header);
    Failure failure = write_converted(header, header_size, reader, source, temp, name);
    if (failure.name) {
        close_file(temp);
        remove_file(TEMP_FILE_NAME);
    } else if (SysError error = finish_file(temp)) {
        failure = {TEMP_FILE_NAME, error};
        remove_file(TEMP_FILE_NAME);
    }
    return failure;
}

// Converts an opened data file whose header was accepted, and closes it. On
// any failure the data file stays as it was and the temporary file is gone.
Failure convert_opened(const char* name, int number, const FileInfo& info, TextReader& reader,
                       Source& source, const HeaderLayout& to, std::int32_t value) {
    Failure failure = NO_FAILURE;
    if (!info.writable)
        failure = {name, access_denied_error()};
    else
        failure = write_temp_file(name, number, info, reader, source, to, value);
    // Closed before the replacement: Windows refuses to rename over an open file.
    close_file(source.file);
    if (failure.name) return failure;
    if (SysError error = replace_file(TEMP_FILE_NAME, name)) {
        remove_file(TEMP_FILE_NAME);
        return {name, error};
    }
    return NO_FAILURE;
}

// Tests the header of an opened data file and converts it when it is in the
// source layout; closes it either way.
Failure convert_listed(const char* name, int number, const FileInfo& info, Source& source,
                       const HeaderLayout& from, const HeaderLayout& to) {
    TextReader reader = make_reader({read_source, &source}, read_block, READ_BLOCK_SIZE);
    std::int32_t value = 0;
    Header header = read_header(reader, from, &value);
    if (header == Header::accepted)
        return convert_opened(name, number, info, reader, source, to, value);
    close_file(source.file);
    return header == Header::failed ? Failure{name, source.error} : NO_FAILURE;
}

// Deals with one file number and reports a failure while its name exists.
int convert_file(int number, const HeaderLayout& from, const HeaderLayout& to) {
    char name[NAME_BUFFER_SIZE];
    data_file_name(number, name);
    Source source{};
    FileInfo info{};
    Failure failure = NO_FAILURE;
    switch (open_data_file(name, &source.file, &info, &source.error)) {
    case OpenResult::absent:
        return 0;
    case OpenResult::failed:
        failure = {name, source.error};
        break;
    case OpenResult::opened:
        print_line(name);
        failure = convert_listed(name, number, info, source, from, to);
        break;
    }
    if (!failure.name) return 0;
    print_error_line(failure.name, error_text(failure.error));
    return 1;
}

int convert_files(const HeaderLayout& from, const HeaderLayout& to) {
    // Another run in this directory would share the temporary file's name and
    // race for the data files: the pass stops before it has looked at any.
    if (SysError error = lock_working_directory()) {
        print_error_line(TEMP_FILE_NAME, error_text(error));
        return 1;
    }
    int status = 0;
    for (int number = 0; number < FILE_COUNT && status == 0; ++number)
        status = convert_file(number, from, to);
    sync_directory();
    unlock_working_directory();
    return status;
}

} // namespace

int upgrade_files() {
    return convert_files(VER200_LAYOUT, VER210_LAYOUT);
}

int downgrade_files() {
    return convert_files(VER210_LAYOUT, VER200_LAYOUT);
}

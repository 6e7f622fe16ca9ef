#include "dataset.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int header_value(int number) {
    return number * 7919 - 500000;
}

// The body unit of file `number`: lines of different lengths with every kind
// of line end, lone CRs, NULs and high bytes. It ends in CR LF, so that a unit
// that follows another never makes a line end of its own with it. With
// `converted`, bare LFs have become CR LF, as the tool writes them.
std::string body_unit(int number, bool converted) {
    std::string unit;
    const int lines = 64 + number % 29; // about 4 KiB
    for (int line = 0; line < lines; ++line) {
        unit += "file " + std::to_string(number) + " line " + std::to_string(line) + ' ';
        unit.append(static_cast<std::size_t>((number * 13 + line * 7) % 61),
                    static_cast<char>('a' + (number + line) % 26));
        if (line % 5 == 0) unit += std::string("\0\xff\x80", 3);
        switch (line % 3) {
        case 0:
            unit += converted ? "\r\n" : "\n";
            break;
        case 1:
            unit += "\r\n";
            break;
        default:
            unit += "\r\r\n"; // a lone CR, then a line end
            break;
        }
    }
    return unit + "\r\n";
}

std::string header_of(int number, Form form) {
    std::string value = std::to_string(header_value(number));
    switch (form) {
    case Form::original:
        return "200\r\n" + value + "\n";
    case Form::upgraded:
        return "210 " + value + " " + std::to_string(number) + "\r\n";
    default:
        return "200\r\n" + value + "\r\n";
    }
}

bool read_whole(const std::string& path, std::string& bytes) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0;
    bytes.resize(ok ? static_cast<std::size_t>(st.st_size) : 0);
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        ok = got > 0;
        done += ok ? static_cast<std::size_t>(got) : 0;
    }
    close(fd);
    return ok;
}

bool has_form(const std::string& bytes, int number, std::size_t units, Form form) {
    const std::string header = header_of(number, form);
    const std::string unit = body_unit(number, form != Form::original);
    if (bytes.size() != header.size() + units * unit.size()) return false;
    if (bytes.compare(0, header.size(), header) != 0) return false;
    for (std::size_t pos = header.size(); pos < bytes.size(); pos += unit.size())
        if (std::memcmp(bytes.data() + pos, unit.data(), unit.size()) != 0) return false;
    return true;
}

} // namespace

const char* form_name(Form form) {
    switch (form) {
    case Form::original:
        return "original";
    case Form::upgraded:
        return "upgraded";
    case Form::downgraded:
        return "downgraded";
    default:
        return "broken";
    }
}

std::string data_file(int number) {
    char name[16];
    std::snprintf(name, sizeof name, "vuro%03d.vrx", number);
    return name;
}

bool write_data_set(const std::string& dir, const DataSet& set) {
    for (int number = 0; number < set.files; ++number) {
        std::string bytes = header_of(number, Form::original);
        const std::string unit = body_unit(number, false);
        for (std::size_t i = 0; i < set.units; ++i)
            bytes += unit;
        std::FILE* file = std::fopen((dir + "/" + data_file(number)).c_str(), "wb");
        if (!file) return false;
        bool whole = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (std::fclose(file) != 0 || !whole) return false;
    }
    return true;
}

Form form_of(const std::string& dir, const DataSet& set, int number) {
    static thread_local std::string bytes;
    if (!read_whole(dir + "/" + data_file(number), bytes)) return Form::broken;
    for (Form form : {Form::original, Form::upgraded, Form::downgraded})
        if (has_form(bytes, number, set.units, form)) return form;
    return Form::broken;
}

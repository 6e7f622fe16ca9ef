// A full set of data files for the tests that interrupt, race or kill the
// tool: every file can be told apart from every other one, in each form a
// conversion can give it, so that a file that is missing, cut short, or made
// of two files or two forms is always seen.
#pragma once

#include <cstddef>
#include <string>

// The forms a file of the set takes: as written by the test (a VER200 header
// and a body with bare LF line ends), after an upgrade, and after an upgrade
// and a downgrade. Anything else is `broken`.
enum class Form { original, upgraded, downgraded, broken };

const char* form_name(Form form);

struct DataSet {
    int files = 225;        // vuro000.vrx onwards
    std::size_t units = 16; // the body is a unit of about 4 KiB repeated this often
};

// Writes every file of the set in its original form into `dir`; false when
// a file could not be written whole.
bool write_data_set(const std::string& dir, const DataSet& set);

// Which form file `number` of the set has in `dir`.
Form form_of(const std::string& dir, const DataSet& set, int number);

// Name of file `number`, as the tool lists it.
std::string data_file(int number);

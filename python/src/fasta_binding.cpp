// read_fasta: the records of a FASTA file, plain or gzip-compressed, one at a time, read
// by the library's record reader, the one stemloop-fold reads with, so both read a file alike.
#include <pybind11/stl.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <istream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "arguments.hpp"
#include "python_model.hpp"
#include "stemloop/records.hpp"
#include "value_type.hpp"

namespace py = pybind11;

namespace stemloop_python {
namespace {

struct FastaRecord {
  std::string name;  // the text after '>', empty for a record without a name line
  std::string sequence;
};

// The open file and the reader over it, which holds one record at a time.
class FastaReader {
 public:
  FastaReader(const std::string& path, std::string shown)
      : shown_(std::move(shown)), file_(path, std::ios::binary) {}
  bool opened() const { return file_.is_open(); }

  // The next record, or nothing at the end of the file. Needs no GIL.
  std::optional<FastaRecord> next() {
    std::lock_guard<std::mutex> lock(mutex_);
    stemloop::FoldRecord record;
    if (!records_.next(record)) {
      if (!decoder_.error().empty())
        throw Unreadable("cannot read '" + shown_ + "': " + decoder_.error());
      return std::nullopt;
    }
    if (!record.error.empty())
      throw py::value_error(shown_ + ": " + record.id.label() + ": " + record.error);
    return FastaRecord{record.id.name, record.sequence};
  }

  // The file could not be read to its end.
  struct Unreadable : std::runtime_error {
    using std::runtime_error::runtime_error;
  };

 private:
  std::string shown_;  // the path as messages show it
  std::mutex mutex_;   // one thread reads at a time
  std::ifstream file_;
  stemloop::DecodedInput decoder_{file_};
  std::istream text_{&decoder_};
  stemloop::LineReader lines_{text_};
  size_t counter_ = 0;
  stemloop::FoldRecordReader records_{lines_, false, counter_};
};

// OSError (FileNotFoundError, IsADirectoryError, ...) of errno for `path`.
[[noreturn]] void raise_os_error(int error, const py::object& path) {
  errno = error;
  PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path.ptr());
  throw py::error_already_set();
}

std::unique_ptr<FastaReader> read_fasta(const py::object& path) {
  const py::module_ os = py::module_::import("os");
  py::object encoded;
  try {
    encoded = os.attr("fsencode")(path);
  } catch (const py::error_already_set& e) {
    if (!e.matches(PyExc_TypeError)) throw;
    bad_type("path must be str or os.PathLike, not " + type_name(path));
  }
  const py::object shown = os.attr("fsdecode")(path);
  const std::string file = encoded.cast<std::string>();
  struct stat info {};
  if (stat(file.c_str(), &info) != 0) raise_os_error(errno, shown);
  if (S_ISDIR(info.st_mode)) raise_os_error(EISDIR, shown);
  auto reader = std::make_unique<FastaReader>(file, shown.cast<std::string>());
  if (!reader->opened()) raise_os_error(errno != 0 ? errno : EACCES, shown);
  return reader;
}

FastaRecord next_record(FastaReader& reader) {
  std::optional<FastaRecord> record;
  try {
    py::gil_scoped_release released;
    record = reader.next();
  } catch (const FastaReader::Unreadable& e) {
    PyErr_SetString(PyExc_OSError, e.what());
    throw py::error_already_set();
  }
  if (!record) throw py::stop_iteration();
  return std::move(*record);
}

constexpr char kReadFastaDoc[] = R"doc(The records of a FASTA file, one at a time.

path: a str or pathlib.Path; the file may be gzip-compressed. Records are read as
stemloop-fold reads them: a '>name' line and the sequence lines after it (blanks and
position numbers dropped), or a sequence on a line of its own (name ''). Only one
record is held at a time, so files of any size may be read.

Returns an iterator of FastaRecord. Raises OSError (FileNotFoundError, ...) for a file
that cannot be read, and while iterating ValueError for a record stemloop-fold refuses,
with its message led by the file and the record ("seqs.fa: tRNA: position 4: ..."), or
OSError for damaged compressed data.)doc";

}  // namespace

void bind_fasta(py::module_& m) {
  using namespace pybind11::literals;
  py::class_<FastaRecord> record(m, "FastaRecord", "One record of a FASTA file.");
  record.def_readonly("name", &FastaRecord::name, "The text after '>', '' for none.")
      .def_readonly("sequence", &FastaRecord::sequence, "The sequence, as the file gives it.");
  as_value(
      record, "FastaRecord", {"name", "sequence"},
      [](const FastaRecord& r) { return py::make_tuple(r.name, r.sequence); },
      [](const py::tuple& state) {
        return FastaRecord{state[0].cast<std::string>(), state[1].cast<std::string>()};
      });

  py::class_<FastaReader>(m, "FastaReader", "The records of a FASTA file, one at a time.")
      .def(
          "__iter__", [](py::object self) { return self; }, "The iterator itself.")
      .def("__next__", &next_record, "The next FastaRecord.");

  m.def("read_fasta", named("read_fasta", &read_fasta), "path"_a, kReadFastaDoc);
}

}  // namespace stemloop_python

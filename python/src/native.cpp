// SPDX-License-Identifier: MIT
// The native half of the Python package: a thin wrapper of the core's
// session (session.h), which decides every request. What is decided here is
// only the Python form: statuses become exceptions, page facts and document
// facts travel as the core's JSON (parsed by the package), and messages name
// the package's options ("password=", "force=True", "by="). Loading,
// selecting, turning and writing run without the GIL, so threads work on
// different documents in parallel; each document also has its own lock, so
// a document shared between threads by mistake is safe, only serialised.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core.h"
#include "leafturn.h"

namespace py = pybind11;

namespace {

PyObject *g_error = nullptr;  // leafturn.LeafturnError, set once at import

// How messages name the package's options.
lt::front_end names() {
  lt::front_end n;
  n.password_option = "password=";
  n.force_option = "force=True";
  n.by_option = "by=";
  n.to_option = "to=";
  return n;
}

// A failed status as its exception: a value the call does not take is a
// ValueError, memory running out a MemoryError, anything else a
// LeafturnError, each with the core's message. Messages are UTF-8; bytes of
// a path that are not survive as surrogates, as os.fsdecode would give them.
[[noreturn]] void raise_status(lt::status s, const std::string &message) {
  py::gil_scoped_acquire gil;
  PyObject *type = s == lt::status::bad_argument ? PyExc_ValueError
                   : s == lt::status::no_memory  ? PyExc_MemoryError
                                                 : g_error;
  PyObject *text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()),
                                        "surrogateescape");
  if (text) {
    PyErr_SetObject(type, text);
    Py_DECREF(text);
  }
  throw py::error_already_set();
}

class native_document {
 public:
  native_document() : s_(names()) {}

  // Loads from a path (bytes, as the file system takes them).
  static std::unique_ptr<native_document> from_path(const py::bytes &path,
                                                    const std::optional<std::string> &password) {
    const std::string p = path;
    auto d = std::make_unique<native_document>();
    d->call([&] { return d->s_.open_file(p.c_str(), password ? password->c_str() : nullptr); });
    return d;
  }

  // Loads from the bytes of a whole file (bytes, bytearray, memoryview).
  static std::unique_ptr<native_document> from_buffer(const py::buffer &data,
                                                      const std::optional<std::string> &password) {
    const py::buffer_info info = data.request();
    if (info.ndim != 1 || info.itemsize != 1 || (info.strides.size() && info.strides[0] != 1))
      throw py::type_error("bytes of a whole file are needed (a contiguous byte buffer)");
    auto d = std::make_unique<native_document>();
    const lt::u8 *from = static_cast<const lt::u8 *>(info.ptr);
    const size_t len = static_cast<size_t>(info.size);
    const lt::status checked = d->s_.check_bytes(from, len, nullptr);
    if (checked != lt::status::ok) raise_status(checked, d->s_.error());
    // A copy made with the GIL held (a bytearray may change once it is let
    // go), which the document takes over.
    std::unique_ptr<lt::u8[]> copy(new lt::u8[len ? len : 1]);
    if (len) std::memcpy(copy.get(), from, len);
    d->call([&] { return d->s_.open_owned(std::move(copy), len, nullptr, password ? password->c_str() : nullptr); });
    return d;
  }

  int page_count() const { return s_.page_count(); }

  // Page n's facts as the core's JSON object (with its text when asked for).
  std::string page(int n, bool text) {
    std::string json;
    call([&] { return s_.page_json(n, text, &json); });
    return json;
  }

  // The document's facts as the core's JSON object.
  std::string facts() {
    std::string json;
    call([&] { return s_.facts_json(&json); });
    return json;
  }

  bool updates_by_default() {
    bool updates = false;
    call([&] { return s_.updates_by_default(&updates); });
    return updates;
  }

  // The pages a page list selects.
  std::vector<int> select(const std::string &text) {
    std::vector<int> pages;
    call([&] { return s_.select(text, &pages); });
    return pages;
  }

  // Turns the listed pages (all when none), by `degrees` or to them, or
  // upright; how many changed.
  int turn(const std::vector<int> *pages, const std::string &kind, long long degrees) {
    int changed = 0;
    lt::page_choice which;
    if (pages) {
      which.listed = true;
      which.numbers = pages->data();
      which.count = static_cast<long long>(pages->size());
    }
    call([&] {
      if (kind == "upright") return s_.upright(which, &changed);
      return kind == "to" ? s_.turn_to(degrees, which, &changed) : s_.turn_by(degrees, which, &changed);
    });
    return changed;
  }

  // Raises the core's message for a page number given as text.
  [[noreturn]] void out_of_range(const std::string &number) {
    const lt::status s = s_.refuse_page(number);
    raise_status(s, s_.error());
  }

  // Saves to path in the mode numbered `mode` (the core's numbers); returns
  // what was written ("unchanged", "update", "full").
  std::string save(const py::bytes &path, int mode, bool force, bool leave_same_file) {
    const std::string p = path;
    const lt::save_mode m = mode_numbered(mode);
    lt::written w = lt::written::unchanged;
    call([&] { return s_.save(p.c_str(), m, force, &w, leave_same_file); });
    return lt::written_name(w);
  }

  py::bytes to_bytes(int mode, bool force) {
    const lt::save_mode m = mode_numbered(mode);
    std::string bytes;
    lt::written w = lt::written::unchanged;
    call([&] { return s_.save_bytes(m, force, &bytes, &w); });
    return py::bytes(bytes);
  }

 private:
  // Runs one call on the session without the GIL, under the document's
  // lock; a failure raises.
  template <typename F>
  void call(F &&work) {
    lt::status s = lt::status::ok;
    {
      py::gil_scoped_release nogil;
      std::lock_guard<std::mutex> lock(m_);
      s = work();
    }
    if (s != lt::status::ok) raise_status(s, s_.error());
  }

  static lt::save_mode mode_numbered(int mode) {
    lt::save_mode m;
    if (!lt::save_mode_numbered(mode, &m)) throw py::value_error("not a save mode of leafturn._native");
    return m;
  }

  lt::session s_;
  std::mutex m_;
};

}  // namespace

PYBIND11_MODULE(_native, m) {
  m.doc() = "The native part of leafturn: documents kept open by the library's core.";
  static py::exception<std::runtime_error> error(m, "LeafturnError", PyExc_Exception);
  g_error = error.ptr();
  m.attr("__version__") = LEAFTURN_VERSION;

  // Whether the core takes a turn value (by=, or to= when absolute).
  m.def(
      "takes_turn",
      [](bool absolute, py::int_ degrees) {
        long long d = 0;
        try {
          d = degrees.cast<long long>();
        } catch (const py::cast_error &) {
          return false;
        }
        lt::turn t;
        return lt::make_turn(absolute, d, &t);
      },
      py::arg("absolute"), py::arg("degrees"));
  // The core's message for a turn value it does not take, shown as `got`.
  m.def(
      "turn_refusal",
      [](bool absolute, const std::string &got) { return lt::turn_refusal(names(), absolute, got); },
      py::arg("absolute"), py::arg("got"));
  // The save mode of save()'s incremental= (None: the automatic mode).
  m.def(
      "save_mode",
      [](py::object incremental) {
        return static_cast<int>(
            lt::save_mode_chosen(!incremental.is_none(), !incremental.is_none() && incremental.cast<bool>()));
      },
      py::arg("incremental"));

  py::class_<native_document>(m, "NativeDocument")
      .def_static("from_path", &native_document::from_path, py::arg("path"),
                  py::arg("password") = py::none())
      .def_static("from_buffer", &native_document::from_buffer, py::arg("data"),
                  py::arg("password") = py::none())
      .def("page_count", &native_document::page_count)
      .def("page", &native_document::page, py::arg("number"), py::arg("text"))
      .def("facts", &native_document::facts)
      .def("updates_by_default", &native_document::updates_by_default)
      .def("select", &native_document::select, py::arg("pages"))
      .def(
          "turn",
          [](native_document &d, py::object pages, const std::string &kind, long long degrees) {
            if (pages.is_none()) return d.turn(nullptr, kind, degrees);
            const std::vector<int> list = pages.cast<std::vector<int>>();
            return d.turn(&list, kind, degrees);
          },
          py::arg("pages"), py::arg("kind"), py::arg("degrees") = 0)
      .def(
          "out_of_range",
          [](native_document &d, const std::string &number) { d.out_of_range(number); },
          py::arg("number"))
      .def("save", &native_document::save, py::arg("path"), py::arg("mode"),
           py::arg("force") = false, py::arg("leave_same_file") = false)
      .def("to_bytes", &native_document::to_bytes, py::arg("mode"), py::arg("force") = false);
}

// SPDX-License-Identifier: MIT
// The native half of the Python package: a loaded document with its pending
// turns, over the core's internal interface. Loading, selecting, turning and
// writing run without the GIL, so threads work on different documents in
// parallel; each document also has its own lock, so a document shared
// between threads by mistake is safe, only serialised.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <climits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "doc_info.h"
#include "leafturn.h"
#include "loader.h"
#include "page_info.h"
#include "page_list.h"
#include "writer.h"

namespace py = pybind11;

namespace {

PyObject *g_error = nullptr;  // leafturn.LeafturnError, set once at import

// A failure with the library's message. Messages are UTF-8; bytes of a path
// that are not survive as surrogates, as os.fsdecode would give them.
[[noreturn]] void raise_error(const std::string &message) {
  py::gil_scoped_acquire gil;
  PyObject *text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()),
                                        "surrogateescape");
  if (text) {
    PyErr_SetObject(g_error, text);
    Py_DECREF(text);
  }
  throw py::error_already_set();
}

// What the work without the GIL reports back.
struct outcome {
  bool ok = true;
  std::string message;
  void fail(const std::string &m) {
    ok = false;
    message = m;
  }
};

class native_document {
 public:
  // Loads from a path (bytes, as the file system takes them).
  static std::unique_ptr<native_document> from_path(const py::bytes &path) {
    const std::string p = path;
    auto d = std::make_unique<native_document>();
    outcome o;
    {
      py::gil_scoped_release nogil;
      lt::failure err;
      if (lt::doc_load(p.c_str(), d->doc_, err) != 0) o.fail(err.text());
      else d->settle();
    }
    if (!o.ok) raise_error(o.message);
    return d;
  }

  // Loads from the bytes of a whole file (bytes, bytearray, memoryview).
  static std::unique_ptr<native_document> from_buffer(const py::buffer &data) {
    const py::buffer_info info = data.request();
    if (info.ndim != 1 || info.itemsize != 1 || (info.strides.size() && info.strides[0] != 1))
      throw py::type_error("bytes of a whole file are needed (a contiguous byte buffer)");
    if (info.size > INT_MAX) raise_error("input file too large: (memory)");
    // A copy made with the GIL held: a bytearray may change once it is let go.
    std::string bytes(static_cast<const char *>(info.ptr), static_cast<size_t>(info.size));
    auto d = std::make_unique<native_document>();
    outcome o;
    {
      py::gil_scoped_release nogil;
      lt::failure err;
      if (lt::doc_load_bytes(reinterpret_cast<const lt::u8 *>(bytes.data()),
                             static_cast<lt::i32>(bytes.size()), d->doc_, err) != 0)
        o.fail(err.text());
      else d->settle();
    }
    if (!o.ok) raise_error(o.message);
    return d;
  }

  int page_count() const { return count_; }

  // The information dictionary's text entries, or None without one.
  py::object info() {
    lt::doc_info i;
    {
      py::gil_scoped_release nogil;
      std::lock_guard<std::mutex> lock(m_);
      i = lt::describe_info(doc_);
    }
    if (!i.present) return py::none();
    py::dict out;
    for (const auto &e : i.entries) out[py::str(e.first)] = py::str(e.second);
    return std::move(out);
  }

  // (rotation, own, inherited, width, height, orientation) of page n
  // (1-based), None where absent; sizes are displayed ones.
  py::tuple facts(int n) {
    check_page(n);
    lt::page_facts f;
    lt::i32 rotation = 0;
    {
      py::gil_scoped_release nogil;
      std::lock_guard<std::mutex> lock(m_);
      if (!facts_ready_) {
        facts_ = lt::describe_pages(doc_);
        facts_ready_ = true;
      }
      f = facts_[static_cast<size_t>(n - 1)];
      rotation = rotation_[static_cast<size_t>(n - 1)];
    }
    py::object none = py::none();
    // The box as the file draws it, turned by the page's rotation now.
    double w = f.width, h = f.height;
    const bool was_turned = f.rotation == 90 || f.rotation == 270;
    const bool is_turned = rotation == 90 || rotation == 270;
    if (was_turned != is_turned) std::swap(w, h);
    const char *o = !f.box_known ? nullptr : w > h ? "landscape" : h > w ? "portrait" : "square";
    return py::make_tuple(rotation, f.own >= 0 ? py::object(py::int_(f.own)) : none,
                          f.inherited >= 0 ? py::object(py::int_(f.inherited)) : none,
                          f.box_known ? py::object(py::float_(w)) : none,
                          f.box_known ? py::object(py::float_(h)) : none,
                          o ? py::object(py::str(o)) : none);
  }

  // The pages a page list selects; ValueError for a malformed one.
  std::vector<int> select(const std::string &text) const {
    cli::page_list list;
    std::string why;
    if (!cli::parse_page_list(text, &list, &why)) throw py::value_error(why);
    std::vector<int> pages;
    long bad = 0;
    if (!cli::select_pages(list, count_, &pages, &bad)) out_of_range(bad);
    return pages;
  }

  // Turns the listed pages (all when none), by `by` (relative) or to `to`
  // (absolute); returns how many of them changed. Targets come from the
  // rotations before the call.
  int rotate(const std::vector<int> *pages, bool absolute, int degrees) {
    if (pages)
      for (int p : *pages) check_page(p);
    int changed = 0;
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> lock(m_);
    std::vector<char> listed(static_cast<size_t>(count_) + 1, 0);
    std::vector<std::pair<int, lt::i32>> turns;
    auto consider = [&](int p) {
      if (listed[static_cast<size_t>(p)]) {
        // Listed again: its target, computed from the same rotation, stands.
        return;
      }
      listed[static_cast<size_t>(p)] = 1;
      const lt::i32 cur = rotation_[static_cast<size_t>(p - 1)];
      const lt::i32 target = absolute ? degrees : (cur + degrees) % 360;
      if (target != cur) turns.emplace_back(p, target);
    };
    if (pages) {
      for (int p : *pages) consider(p);
    } else {
      for (int p = 1; p <= count_; ++p) consider(p);
    }
    for (const auto &t : turns) apply(t.first, t.second);
    changed = static_cast<int>(turns.size());
    return changed;
  }

  void save(const py::bytes &path) {
    const std::string p = path;
    outcome o;
    {
      py::gil_scoped_release nogil;
      std::lock_guard<std::mutex> lock(m_);
      lt::failure err;
      lt::output out;
      if (!build(&out, err) || !lt::write_output(p.c_str(), out, doc_.d.source, err))
        o.fail(err.text());
    }
    if (!o.ok) raise_error(o.message);
  }

  py::bytes to_bytes() {
    std::string bytes;
    outcome o;
    {
      py::gil_scoped_release nogil;
      std::lock_guard<std::mutex> lock(m_);
      lt::failure err;
      lt::output out;
      if (!build(&out, err)) o.fail(err.text());
      else bytes = out.bytes();
    }
    if (!o.ok) raise_error(o.message);
    return py::bytes(bytes);
  }

 private:
  // After a load: the rotation of every page and which objects stand for
  // several pages.
  void settle() {
    const lt::doc &d = doc_.d;
    count_ = static_cast<int>(d.pages.size());
    rotation_.resize(d.pages.size());
    std::unordered_map<lt::i32, int> first;
    for (size_t k = 0; k < d.pages.size(); ++k) {
      rotation_[k] = lt::effective_rotation(d, doc_.lex, d.pages[k]);
      const auto hit = first.emplace(d.pages[k].num, static_cast<int>(k));
      if (!hit.second) {
        std::vector<int> &v = sharing_[d.pages[k].num];
        if (v.empty()) v.push_back(hit.first->second);
        v.push_back(static_cast<int>(k));
      }
    }
  }

  // Page p's object carries `target`: so do the other pages it stands for.
  void apply(int p, lt::i32 target) {
    const lt::i32 num = doc_.d.pages[static_cast<size_t>(p - 1)].num;
    pending_[num] = {p, target};
    const auto s = sharing_.find(num);
    if (s == sharing_.end()) {
      rotation_[static_cast<size_t>(p - 1)] = target;
    } else {
      for (int k : s->second) rotation_[static_cast<size_t>(k)] = target;
    }
  }

  bool build(lt::output *out, lt::failure &err) {
    if (pending_.empty()) {
      *out = lt::unchanged_output(doc_.d);
      return true;
    }
    std::vector<lt::page_turn> turns;
    turns.reserve(pending_.size());
    for (const auto &t : pending_) turns.push_back({t.second.first, t.second.second});
    return lt::build_output_turns(doc_, turns, out, err) != 0;
  }

  void check_page(int n) const {
    if (n < 1 || n > count_) out_of_range(n);
  }
  [[noreturn]] void out_of_range(long n) const {
    lt::failure err;
    err.set("page %ld out of range (document has %d pages)", n, count_);
    raise_error(err.text());
  }

  lt::document doc_;
  std::mutex m_;
  int count_ = 0;
  std::vector<lt::i32> rotation_;                    // per page, turns included
  std::unordered_map<lt::i32, std::vector<int>> sharing_;  // object -> its pages, when several
  std::map<lt::i32, std::pair<int, lt::i32>> pending_;     // object -> (a page of it, rotation)
  bool facts_ready_ = false;
  std::vector<lt::page_facts> facts_;
};

}  // namespace

PYBIND11_MODULE(_native, m) {
  m.doc() = "The native part of leafturn: documents loaded by the library's core.";
  static py::exception<std::runtime_error> error(m, "LeafturnError", PyExc_Exception);
  g_error = error.ptr();
  m.attr("__version__") = LEAFTURN_VERSION;

  py::class_<native_document>(m, "NativeDocument")
      .def_static("from_path", &native_document::from_path, py::arg("path"))
      .def_static("from_buffer", &native_document::from_buffer, py::arg("data"))
      .def("page_count", &native_document::page_count)
      .def("info", &native_document::info)
      .def("facts", &native_document::facts, py::arg("number"))
      .def("select", &native_document::select, py::arg("pages"))
      .def(
          "rotate",
          [](native_document &d, py::object pages, bool absolute, int degrees) {
            if (pages.is_none()) return d.rotate(nullptr, absolute, degrees);
            const std::vector<int> list = pages.cast<std::vector<int>>();
            return d.rotate(&list, absolute, degrees);
          },
          py::arg("pages"), py::arg("absolute"), py::arg("degrees"))
      .def("save", &native_document::save, py::arg("path"))
      .def("to_bytes", &native_document::to_bytes);
}

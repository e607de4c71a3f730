// SPDX-License-Identifier: MIT
// The native half of the Python package: a loaded document with its pending
// turns, over the core's internal interface. Loading, selecting, turning and
// writing run without the GIL, so threads work on different documents in
// parallel; each document also has its own lock, so a document shared
// between threads by mistake is safe, only serialised.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <climits>
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

// How messages point to the package's ways of giving a password and of
// forcing a turn that permissions forbid.
constexpr char k_password_option[] = "password=";
constexpr char k_force_option[] = "force=True";

// Loads encrypted documents too, with the password given (None: none).
lt::load_options load_how(const std::string *password) {
  lt::load_options how;
  how.encrypted = true;
  how.password = password ? password->c_str() : nullptr;
  how.password_option = k_password_option;
  return how;
}

class native_document {
 public:
  // Loads from a path (bytes, as the file system takes them).
  static std::unique_ptr<native_document> from_path(const py::bytes &path,
                                                    const std::optional<std::string> &password) {
    const std::string p = path;
    auto d = std::make_unique<native_document>();
    outcome o;
    {
      py::gil_scoped_release nogil;
      lt::failure err;
      if (lt::doc_load(p.c_str(), d->loaded_, err, load_how(password ? &*password : nullptr)) != 0)
        o.fail(err.text());
      else d->settle();
      d->name_ = p;
    }
    if (!o.ok) raise_error(o.message);
    return d;
  }

  // Loads from the bytes of a whole file (bytes, bytearray, memoryview).
  static std::unique_ptr<native_document> from_buffer(const py::buffer &data,
                                                      const std::optional<std::string> &password) {
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
                             static_cast<lt::i32>(bytes.size()), d->loaded_, err, "(memory)",
                             load_how(password ? &*password : nullptr)) != 0)
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
      i = lt::describe_info(loaded_);
    }
    if (!i.present) return py::none();
    py::dict out;
    for (const auto &e : i.entries) out[py::str(e.first)] = py::str(e.second);
    return std::move(out);
  }

  // (rotation, own, inherited, width, height, orientation) of page n
  // (1-based), None where absent; rotation and sizes as the page stands now.
  py::tuple facts(int n) {
    check_page(n);
    lt::page_facts f;
    {
      py::gil_scoped_release nogil;
      std::lock_guard<std::mutex> lock(m_);
      f = plan_->facts(n);
    }
    py::object none = py::none();
    const char *o = lt::orientation_name(f.orient);
    return py::make_tuple(f.rotation, f.own >= 0 ? py::object(py::int_(f.own)) : none,
                          f.inherited >= 0 ? py::object(py::int_(f.inherited)) : none,
                          f.box_known ? py::object(py::float_(f.width)) : none,
                          f.box_known ? py::object(py::float_(f.height)) : none,
                          o ? py::object(py::str(o)) : none);
  }

  // (direction, glyphs) of page n's text as it shows now.
  py::tuple text(int n) {
    check_page(n);
    lt::text_facts f;
    {
      py::gil_scoped_release nogil;
      std::lock_guard<std::mutex> lock(m_);
      f = plan_->text(n);
    }
    return py::make_tuple(lt::text_direction_name(f.direction), f.glyphs);
  }

  // Turns the listed pages (all when none) upright; how many changed.
  int upright(const std::vector<int> *pages) { return apply(pages, lt::upright_turn()); }

  // The pages a page list selects; ValueError for a malformed one.
  std::vector<int> select(const std::string &text) const {
    lt::page_list list;
    std::string why;
    if (!lt::parse_page_list(text, &list, &why)) throw py::value_error(why);
    std::vector<int> pages;
    long bad = 0;
    if (!lt::select_pages(list, count_, &pages, &bad)) out_of_range(bad);
    return pages;
  }

  // Turns the listed pages (all when none), by `by` (relative) or to `to`
  // (absolute); returns how many of them changed.
  int rotate(const std::vector<int> *pages, bool absolute, int degrees) {
    return apply(pages, lt::turn{absolute, degrees});
  }

  void save(const py::bytes &path, const std::string &mode, bool force) {
    const std::string p = path;
    const lt::write_mode m = write_mode_named(mode);
    outcome o;
    {
      py::gil_scoped_release nogil;
      std::lock_guard<std::mutex> lock(m_);
      lt::failure err;
      if (!write(p, m, force, err)) o.fail(err.text());
    }
    if (!o.ok) raise_error(o.message);
  }

  py::bytes to_bytes(const std::string &mode, bool force) {
    const lt::write_mode m = write_mode_named(mode);
    std::string bytes;
    outcome o;
    {
      py::gil_scoped_release nogil;
      std::lock_guard<std::mutex> lock(m_);
      lt::failure err;
      if (!write(std::string(), m, force, err, &bytes)) o.fail(err.text());
    }
    if (!o.ok) raise_error(o.message);
    return py::bytes(bytes);
  }

  // (signatures, certified)
  py::tuple signatures() {
    lt::signature_facts f;
    {
      py::gil_scoped_release nogil;
      std::lock_guard<std::mutex> lock(m_);
      f = lt::describe_signatures(loaded_);
    }
    return py::make_tuple(f.signatures, f.certified);
  }

  // None, or the encryption: method, revision, key bits, whether a password
  // was needed and which one opened it, the permissions by name.
  py::object encryption() {
    lt::encryption_facts e;
    {
      std::lock_guard<std::mutex> lock(m_);
      e = lt::describe_encryption(loaded_);
    }
    if (!e.present) return py::none();
    py::dict out, perms;
    out["method"] = e.method;
    out["revision"] = e.revision;
    out["key_bits"] = e.key_bits;
    out["password_needed"] = e.password_needed;
    out["opened_with"] = !e.key_known ? py::object(py::none())
                                      : py::object(py::str(e.owner ? "owner" : "user"));
    for (const auto &p : e.permissions) perms[py::str(p.first)] = p.second;
    out["permissions"] = perms;
    return std::move(out);
  }

  bool changes() {
    std::lock_guard<std::mutex> lock(m_);
    return plan_->changes_anything();
  }

 private:
  // One turn over the listed pages, without the GIL; how many changed.
  int apply(const std::vector<int> *pages, const lt::turn &how) {
    outcome o;
    int changed = 0;
    {
      py::gil_scoped_release nogil;
      std::lock_guard<std::mutex> lock(m_);
      lt::failure err;
      changed = plan_->apply(pages, how, lt::page_filter::any, err);
      if (changed < 0) o.fail(err.text());
    }
    if (!o.ok) raise_error(o.message);
    return changed;
  }

  // After a load: the plan that turns build on.
  void settle() {
    count_ = static_cast<int>(loaded_.d.pages.size());
    plan_ = std::make_unique<lt::turn_plan>(loaded_);
  }

  static lt::write_mode write_mode_named(const std::string &mode) {
    if (mode == "automatic") return lt::write_mode::automatic;
    if (mode == "incremental") return lt::write_mode::incremental;
    if (mode == "full") return lt::write_mode::full;
    throw py::value_error("mode is \"automatic\", \"incremental\" or \"full\"");
  }

  // The document with its turns, as the core decides to write it for the
  // mode, to a file at path or into *bytes. The package turns certified
  // documents as asked (it has no refusal of them); an encrypted file whose
  // permissions forbid turning only with `force`.
  bool write(const std::string &path, lt::write_mode mode, bool force, lt::failure &err,
             std::string *bytes = nullptr) {
    lt::write_request req;
    req.mode = mode;
    req.force = true;
    req.force_permissions = force;
    req.force_option = k_force_option;
    req.password_option = k_password_option;
    lt::write_decision decision;
    if (!decision.decide(loaded_, *plan_, req, name_, err)) return false;
    if (bytes) {
      *bytes = lt::output_bytes(decision.result());
      return true;
    }
    return lt::write_output(path.c_str(), decision.result(), err) != 0;
  }

  void check_page(int n) const {
    if (n < 1 || n > count_) out_of_range(n);
  }
  [[noreturn]] void out_of_range(long n) const {
    lt::failure err;
    lt::set_page_range_error(err, n, count_);
    raise_error(err.text());
  }

 public:
  // Raises the core's message for a page number given as text.
  [[noreturn]] void out_of_range(const std::string &number) const {
    lt::failure err;
    lt::set_page_range_error(err, number.c_str(), count_);
    raise_error(err.text());
  }

 private:

  lt::document loaded_;
  std::mutex m_;
  int count_ = 0;
  std::unique_ptr<lt::turn_plan> plan_;  // the turns made so far
  std::string name_ = "(memory)";         // the input, as messages name it
};

}  // namespace

PYBIND11_MODULE(_native, m) {
  m.doc() = "The native part of leafturn: documents loaded by the library's core.";
  static py::exception<std::runtime_error> error(m, "LeafturnError", PyExc_Exception);
  g_error = error.ptr();
  m.attr("__version__") = LEAFTURN_VERSION;

  // The turns the core takes: (absolute, degrees 0..359), or None for a
  // value it does not take; and the values as messages list them.
  m.def(
      "turn",
      [](bool absolute, py::int_ degrees) -> py::object {
        long long d = 0;
        try {
          d = degrees.cast<long long>();
        } catch (const py::cast_error &) {
          return py::none();
        }
        lt::turn t;
        if (!lt::make_turn(absolute, d, &t)) return py::none();
        return py::make_tuple(t.absolute, t.degrees);
      },
      py::arg("absolute"), py::arg("degrees"));
  m.def("turn_values", &lt::turn_values, py::arg("absolute"));

  py::class_<native_document>(m, "NativeDocument")
      .def_static("from_path", &native_document::from_path, py::arg("path"),
                  py::arg("password") = py::none())
      .def_static("from_buffer", &native_document::from_buffer, py::arg("data"),
                  py::arg("password") = py::none())
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
      .def("text", &native_document::text, py::arg("number"))
      .def(
          "upright",
          [](native_document &d, py::object pages) {
            if (pages.is_none()) return d.upright(nullptr);
            const std::vector<int> list = pages.cast<std::vector<int>>();
            return d.upright(&list);
          },
          py::arg("pages"))
      .def(
          "out_of_range",
          [](const native_document &d, const std::string &number) { d.out_of_range(number); },
          py::arg("number"))
      .def("save", &native_document::save, py::arg("path"), py::arg("mode"),
           py::arg("force") = false)
      .def("to_bytes", &native_document::to_bytes, py::arg("mode"), py::arg("force") = false)
      .def("signatures", &native_document::signatures)
      .def("encryption", &native_document::encryption)
      .def("changes", &native_document::changes);
}

// Gives every function of the module a signature that inspect.signature() and IDEs read:
// the first line of each generated docstring ("name(a: int, b: str = 'x') -> T") becomes
// a text signature ("name(a, b='x')" followed by "--"), the typed line stays for help().
// Runs once at the end of the module's init, over everything the subjects registered.
#include <pybind11/eval.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "module.h"
#include "module_support.h"

namespace evkit::python {

namespace {

constexpr const char* kConverter = R"(
def _split(text):
    parts, depth, quote, cur = [], 0, None, ''
    for ch in text:
        if quote:
            cur += ch
            if ch == quote:
                quote = None
            continue
        if ch in '\'"':
            quote = ch
        elif ch in '([{':
            depth += 1
        elif ch in ')]}':
            depth -= 1
        elif ch == ',' and depth == 0:
            parts.append(cur.strip())
            cur = ''
            continue
        cur += ch
    if cur.strip():
        parts.append(cur.strip())
    return parts

def _literal(text):
    import ast
    try:
        ast.literal_eval(text)
    except Exception:
        return False
    return not text.startswith(('[', '{', '('))

def text_signature(name, doc):
    if not doc or not doc.startswith(name + '(') or 'Overloaded function' in doc:
        return None
    first, _, rest = doc.partition('\n')
    depth, end = 0, None
    for i, ch in enumerate(first):
        if ch == '(':
            depth += 1
        elif ch == ')':
            depth -= 1
            if depth == 0:
                end = i
                break
    if end is None:
        return None
    params = []
    for p in _split(first[len(name) + 1:end]):
        pname, _, default = p.partition('=')
        pname = pname.split(':')[0].strip()
        default = default.strip()
        if default:
            if not _literal(default):
                return None
            params.append(pname + '=' + default)
        else:
            params.append(pname)
    return name + '(' + ', '.join(params) + ')\n--\n\n' + first + '\n' + rest
)";

void setDoc(PyObject* function, const std::string& doc) {
    auto* f = reinterpret_cast<PyCFunctionObject*>(function);
    std::free(const_cast<char*>(f->m_ml->ml_doc));
    f->m_ml->ml_doc = strdup(doc.c_str());
}

void convert(const py::object& convert, PyObject* function, const std::string& name) {
    if (!PyCFunction_Check(function)) return;
    const char* doc = reinterpret_cast<PyCFunctionObject*>(function)->m_ml->ml_doc;
    if (!doc) return;
    py::object text = convert(name, doc);
    if (!text.is_none()) setDoc(function, text.cast<std::string>());
}

}  // namespace

void addTextSignatures(py::module_& m) {
    py::dict scope;
    py::exec(kConverter, scope);
    const py::object textSignature = scope["text_signature"];
    for (const auto& [key, value] : m.attr("__dict__").cast<py::dict>()) {
        const std::string name = py::str(key);
        if (PyCFunction_Check(value.ptr())) {
            convert(textSignature, value.ptr(), name);
        } else if (PyType_Check(value.ptr()) && py::hasattr(value, "__module__") &&
                   py::str(value.attr("__module__")).cast<std::string>() == "evkit714") {
            for (const auto& [k, v] : value.attr("__dict__").cast<py::dict>()) {
                if (PyInstanceMethod_Check(v.ptr()))
                    convert(textSignature, PyInstanceMethod_GET_FUNCTION(v.ptr()), py::str(k));
                else if (py::isinstance<py::staticmethod>(v))
                    convert(textSignature, v.attr("__func__").ptr(), py::str(k));
            }
        }
    }
}

}  // namespace evkit::python

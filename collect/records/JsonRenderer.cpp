#include "JsonRenderer.h"

#include <cinttypes>
#include <cstdio>

JsonRenderer::JsonRenderer(bool showZero) : _showZero(showZero) {
    _stack.emplace_back();
}

namespace {

// Length of the UTF-8 sequence at s[i], or 0 when it is not one.
size_t utf8Length(const std::string& s, size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (n == 0 || i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; k++)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 0;
    return n;
}

}  // namespace

std::string JsonRenderer::quote(const std::string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size(); i++) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char buf[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (size_t n = utf8Length(s, i)) {
            out.append(s, i, n);
            i += n - 1;
        } else {
            snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        }
    }
    return out + "\"";
}

std::string JsonRenderer::numberText(FieldNumber v) {
    char buf[24];
    if (v.isSigned)
        snprintf(buf, sizeof buf, "%" PRId64, static_cast<int64_t>(v.bits));
    else
        snprintf(buf, sizeof buf, "%" PRIu64, v.bits);
    return buf;
}

void JsonRenderer::closeArray(Frame& f) {
    if (!f.openArray.empty()) {
        _out += "]";
        f.openArray.clear();
    }
}

void JsonRenderer::separate(Frame& f) {
    if (!f.first)
        _out += ", ";
    f.first = false;
}

void JsonRenderer::open(size_t level) {
    Frame& f = _stack[level];
    if (f.opened)
        return;
    if (level == 0) {
        _out += "{";
        f.opened = true;
        return;
    }
    open(level - 1);
    Frame& parent = _stack[level - 1];
    if (f.listItem && parent.openArray == f.name) {
        _out += ", ";
    } else {
        closeArray(parent);
        separate(parent);
        _out += quote(f.name) + (f.listItem ? ": [" : ": ");
        if (f.listItem)
            parent.openArray = f.name;
    }
    _out += "{";
    f.opened = true;
}

void JsonRenderer::member(const char* name) {
    open(_stack.size() - 1);
    Frame& top = _stack.back();
    closeArray(top);
    separate(top);
    _out += quote(name) + ": ";
}

void JsonRenderer::begin(const char* name, Shape shape, const char*) {
    Frame f;
    f.name = name;
    f.listItem = shape == Shape::ListItem;
    _stack.push_back(f);
}

void JsonRenderer::end() {
    Frame& top = _stack.back();
    if (top.opened) {
        closeArray(top);
        _out += "}";
    }
    _stack.pop_back();
}

bool JsonRenderer::shown(bool zero, FieldKind kind) const {
    return _showZero || !zero ||
           (kind != FieldKind::Counter && kind != FieldKind::Gauge && kind != FieldKind::KibGauge);
}

void JsonRenderer::number(const char* name, FieldNumber v, FieldKind kind) {
    if (!shown(v.bits == 0, kind))
        return;
    member(name);
    _out += numberText(v);
}

void JsonRenderer::text(const char* name, const std::string& v, FieldKind) {
    member(name);
    _out += quote(v);
}

void JsonRenderer::counts(const char* name, const uint32_t* a, size_t n, FieldKind kind) {
    bool zero = true;
    for (size_t i = 0; i < n; i++)
        zero = zero && a[i] == 0;
    if (!shown(zero, kind))
        return;
    member(name);
    _out += "[";
    for (size_t i = 0; i < n; i++)
        _out += (i ? ", " : "") + std::to_string(a[i]);
    _out += "]";
}

std::string JsonRenderer::str() {
    open(0);
    closeArray(_stack[0]);
    return _out + "}";
}

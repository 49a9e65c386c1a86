#include "TlDirEntArray.h"

TlDirEntArray::~TlDirEntArray() {
    clear();
}

TlDirEnt* TlDirEntArray::release(size_t i) {
    TlDirEnt* e = _vec[i];
    _vec[i] = nullptr;
    return e;
}

void TlDirEntArray::clear() {
    for (TlDirEnt* e : _vec)
        delete e;
    _vec.clear();
}

#include "XmlLibrary.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

#include "SerializationException.h"

#ifndef TOLM_LIBXML2_SONAME
#define TOLM_LIBXML2_SONAME "libxml2.so.2"
#endif

namespace {

template <typename F>
bool take(void* lib, const char* name, F* out) {
    *out = reinterpret_cast<F>(dlsym(lib, name));
    return *out != nullptr;
}

}  // namespace

const XmlLibrary& XmlLibrary::get() {
    static XmlLibrary lib;
    static std::string failure;
    static std::once_flag once;
    std::call_once(once, [] {
        // Never closed: its functions stay in use until the process ends.
        void* h = dlopen(TOLM_LIBXML2_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!h) {
            const char* why = dlerror();
            failure = std::string("cannot load " TOLM_LIBXML2_SONAME ": ") + (why ? why : "?");
            return;
        }
        decltype(&xmlInitParser) init = nullptr;
        bool all = take(h, "xmlInitParser", &init) && take(h, "xmlReaderForFd", &lib.readerForFd) &&
                   take(h, "xmlTextReaderRead", &lib.read) &&
                   take(h, "xmlTextReaderNodeType", &lib.nodeType) &&
                   take(h, "xmlTextReaderConstName", &lib.constName) &&
                   take(h, "xmlTextReaderConstValue", &lib.constValue) &&
                   take(h, "xmlTextReaderIsEmptyElement", &lib.isEmptyElement) &&
                   take(h, "xmlTextReaderMoveToNextAttribute", &lib.moveToNextAttribute) &&
                   take(h, "xmlFreeTextReader", &lib.freeTextReader) &&
                   take(h, "xmlGetLastError", &lib.lastError);
        if (!all) {
            failure = TOLM_LIBXML2_SONAME " lacks an entry point of its reader";
            return;
        }
        // Once, here, so that threads reading at once find it initialised.
        init();
    });
    if (!failure.empty())
        throw SerializationException(failure, 0);
    return lib;
}

// tolmdecode: prints statistics record files (the files the signal dump and
// persistence write) as XML or as the record's text dump.

#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DbladeStats.h"
#include "FcdStats.h"
#include "FileDeserializer.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "SerializationException.h"
#include "TolmVersion.h"
#include "XmlRenderer.h"

namespace {

const char* kUsage =
    "usage: tolmdecode [--xml | --dump] [--showzero] FILE...\n"
    "Prints statistics record files; the record type comes from each file's first word.\n"
    "A FILE of \"-\" is read from standard input.\n"
    "  --xml       print the record's XML element (the default)\n"
    "  --dump      print the record's text dump (D-blade records have none)\n"
    "  --showzero  with --xml, also print statistics whose value is 0\n"
    "  --help      print this text\n"
    "  --version   print the version\n";

enum class Form { Xml, Dump };

// Reads the whole record first, so nothing is printed for one that fails half way.
// A record file holds one record and nothing after it.
void refuseTrailingBytes(Deserializer& d) {
    unsigned char extra;
    if (d.readBuffer(&extra, 1) != 0)
        throw SerializationException("trailing bytes after the record", 0);
}

template <typename R>
void print(R& rec, Deserializer& d, Form form, bool showZero) {
    rec.deserialize(d);
    refuseTrailingBytes(d);
    if (form == Form::Dump) {
        rec.dump();
    } else {
        XmlRenderer r;
        r.skipZeroAttributes(!showZero);
        rec.toXml(r);
    }
}

// Returns false after one line on standard error (naming the file as `shown`)
// when the file cannot be decoded.
bool decodeFile(const char* path, const char* shown, Form form, bool showZero) {
    try {
        FileDeserializer d(path, 4096);
        unsigned int tag = d.read32();
        d.reset();
        switch (tag) {
            case SER_NBLADE: {
                NbladeStats rec;
                print(rec, d, form, showZero);
                break;
            }
            case SER_DBLADE: {
                DbladeStats rec;
                if (form == Form::Dump) {
                    fprintf(stderr, "tolmdecode: %s: a D-blade record has no text dump\n", shown);
                    return false;
                }
                rec.deserialize(d);
                refuseTrailingBytes(d);
                XmlRenderer r;
                r.skipZeroAttributes(!showZero);
                rec.toXml(r);
                break;
            }
            case SER_LP: {
                LpStatsSet rec;
                print(rec, d, form, showZero);
                break;
            }
            case SER_FCD: {
                FcdStats rec;
                print(rec, d, form, showZero);
                break;
            }
            case SER_MGMT: {
                MgmtProcStats rec;
                print(rec, d, form, showZero);
                break;
            }
            default:
                fprintf(stderr, "tolmdecode: %s: unknown record type %u\n", shown, tag);
                return false;
        }
    } catch (SerializationException& e) {
        std::string msg = e.msg;
        // Some messages carry their own newline.
        while (!msg.empty() && msg.back() == '\n')
            msg.pop_back();
        // A system error carries its reason.
        if (e.code != 0)
            msg += std::string(": ") + strerror(static_cast<int>(e.code));
        fprintf(stderr, "tolmdecode: %s: %s\n", shown, msg.c_str());
        return false;
    }
    fflush(stdout);
    return true;
}

// Decodes one file, or standard input for "-".
bool decode(const char* path, Form form, bool showZero) {
    // Standard input goes through a file of its own, which can be read twice.
    std::string stdinCopy;
    const char* shown = path;
    if (strcmp(path, "-") == 0) {
        char name[] = "/tmp/tolmdecode.XXXXXX";
        int fd = mkstemp(name);
        if (fd < 0) {
            fprintf(stderr, "tolmdecode: -: cannot make a temporary file: %s\n", strerror(errno));
            return false;
        }
        unlink(name);
        char buf[65536];
        ssize_t n;
        while ((n = read(0, buf, sizeof buf)) > 0) {
            if (write(fd, buf, static_cast<size_t>(n)) != n) {
                fprintf(stderr, "tolmdecode: -: cannot copy standard input: %s\n", strerror(errno));
                close(fd);
                return false;
            }
        }
        stdinCopy = "/proc/self/fd/" + std::to_string(fd);
        path = stdinCopy.c_str();
        bool ok = decodeFile(path, shown, form, showZero);
        close(fd);
        return ok;
    }
    return decodeFile(path, shown, form, showZero);
}

}  // namespace

int main(int argc, char** argv) {
    if (tolmVersionAsked(argc, argv, "tolmdecode"))
        return 0;
    static const option options[] = {{"xml", no_argument, nullptr, 'x'},
                                     {"dump", no_argument, nullptr, 'd'},
                                     {"showzero", no_argument, nullptr, 'z'},
                                     {"help", no_argument, nullptr, 'h'},
                                     {nullptr, 0, nullptr, 0}};
    Form form = Form::Xml;
    bool showZero = false;
    int c;
    while ((c = getopt_long(argc, argv, "", options, nullptr)) != -1) {
        switch (c) {
            case 'x':
                form = Form::Xml;
                break;
            case 'd':
                form = Form::Dump;
                break;
            case 'z':
                showZero = true;
                break;
            case 'h':
                fputs(kUsage, stdout);
                return 0;
            default:
                fputs(kUsage, stderr);
                return 1;
        }
    }
    if (optind >= argc) {
        fputs(kUsage, stderr);
        return 1;
    }
    bool ok = true;
    for (int i = optind; i < argc; i++)
        ok = decode(argv[i], form, showZero) && ok;
    return ok ? 0 : 1;
}

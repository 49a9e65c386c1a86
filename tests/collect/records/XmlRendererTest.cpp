#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "RecordTestUtil.h"
#include "XmlDumper.h"

namespace {

std::string render(const std::function<void(XmlRenderer&)>& body, bool skipZero) {
    CapturingRenderer r;
    r.skipZeroAttributes(skipZero);
    body(r);
    return r.text;
}

int countOf(const std::string& hay, const std::string& needle) {
    int n = 0;
    for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) n++;
    return n;
}

// Runs xmllint on the text; returns its exit status.
int xmllint(const ScratchDir& dir, const std::string& xml) {
    std::string path = dir.file("doc.xml");
    FILE* f = fopen(path.c_str(), "w");
    fputs(xml.c_str(), f);
    fclose(f);
    return std::system(("xmllint --noout " + path + " 2>&1").c_str());
}

TEST(XmlRenderer, DocumentGrammar) {
    // A root with two attributes, a section holding one non-zero and one zero
    // statistic, skipping on: exactly five lines.
    std::string five = render(
        [](XmlRenderer& r) {
            XmlAttrs attrs;
            XmlRenderer::addAttr(attrs, "version", 1u);
            XmlRenderer::addAttr(attrs, "created", 1000u);
            r.pushTag("r", &attrs);
            r.pushTag("s", nullptr);
            r.renderAttribute("x", 5u);
            r.renderAttribute("y", 0u);
            r.popTag();
            r.popTag();
        },
        true);
    EXPECT_EQ(
        "<r created=\"1000\" version=\"1\">\n"
        "    <s>\n"
        "\t<statistic name=\"x\" value=\"5\" />\n"
        "    </s>\n"
        "</r>\n",
        five);

    // Levels 3 and 4, an all-skipped section collapsed, widths and forms.
    std::string deep = render(
        [](XmlRenderer& r) {
            r.pushTag("a", nullptr);
            r.pushTag("b", nullptr);
            r.pushTag("c", nullptr);
            r.renderAttribute("l3", 1u);
            r.pushTag("d", nullptr);
            r.renderAttribute("l4", 2u);
            r.popTag();
            r.pushTag("empty", nullptr);
            r.renderAttribute("z", 0u);
            r.renderAttribute("z64", 0ull);
            r.renderSuccessFailAttribute("zz", 0ull, 0ull);
            r.popTag();
            r.renderAttribute("neg", 2147483648u);
            r.renderAttribute("big", 0x100000000ull);
            r.renderAttributeHex("hex", 255u);
            r.renderSuccessFailAttribute("sf", 0ull, 3ull);
            r.renderSuccessFailAttribute("sf32", 4u, 0u);
            r.popTag();
            r.popTag();
            r.popTag();
        },
        true);
    EXPECT_EQ(
        "<a>\n"
        "    <b>\n"
        "\t<c>\n"
        "\t    <statistic name=\"l3\" value=\"1\" />\n"
        "\t    <d>\n"
        "\t\t<statistic name=\"l4\" value=\"2\" />\n"
        "\t    </d>\n"
        "\t    <empty />\n"
        "\t    <statistic name=\"neg\" value=\"-2147483648\" />\n"
        "\t    <statistic name=\"big\" value=\"4294967296\" />\n"
        "\t    <statistic name=\"hex\" value=\"0xff\" />\n"
        "\t    <statistic failed=\"3\" name=\"sf\" succeeded=\"0\" />\n"
        "\t    <statistic failed=\"0\" name=\"sf32\" succeeded=\"4\" />\n"
        "\t</c>\n"
        "    </b>\n"
        "</a>\n",
        deep);

    // Without skipping, zeros are written; an attribute added twice is replaced.
    std::string zeros = render(
        [](XmlRenderer& r) {
            XmlAttrs attrs;
            XmlRenderer::addAttr(attrs, "v", 1u);
            XmlRenderer::addAttrHex(attrs, "v", 16u);
            r.pushTag("r", &attrs);
            r.renderAttribute("z", 0u);
            r.popTag();
        },
        false);
    EXPECT_EQ("<r v=\"0x10\">\n    <statistic name=\"z\" value=\"0\" />\n</r>\n", zeros);
}

TEST(XmlDumper, WritesIntoItsFile) {
    ScratchDir dir;
    std::string path = dir.file("out.xml");
    {
        XmlDumper d(path);
        d.pushTag("r", nullptr);
        d.renderAttribute("x", 1u);
        d.popTag();
    }
    Bytes b = readFile(path);
    EXPECT_EQ("<r>\n    <statistic name=\"x\" value=\"1\" />\n</r>\n", std::string(b.begin(), b.end()));
    // An unopenable file: rendering goes on and writes nothing.
    std::string bad = dir.file("missing/out.xml");
    XmlDumper lost(bad);
    lost.pushTag("r", nullptr);
    lost.popTag();
    EXPECT_NE(0, access(bad.c_str(), F_OK));
}

TEST(RecordXml, NbladeElementsAndHistogram) {
    ScratchDir dir;
    Filler f(11);
    NbladeStats r;
    fillNblade(r, f);
    memset(r.data.bcp.histogram, 0, sizeof r.data.bcp.histogram);
    r.data.bcp.histogram[0] = 3;
    r.data.bcp.histogram[59] = 4;
    r.data.version = 1;
    r.data.mask = 0x7ffff;
    r.data.timestampCreated = 100;
    r.data.timestampCompleted = 101;
    r.data.cifs.LckOplockReleaseRecieved = 77;
    memset(&r.data.tolmXmitDescs, 0, sizeof r.data.tolmXmitDescs);
    std::string xml = render([&](XmlRenderer& x) { r.toXml(x); }, true);
    EXPECT_EQ(0, xmllint(dir, xml));
    EXPECT_EQ(0u, xml.find("<nblade completed=\"101\" created=\"100\" mask=\"0x7ffff\" version=\"1\">\n"
                           "    <statistic name=\"_nfsStatsRpcStatus\""));
    EXPECT_EQ(2, countOf(xml, "<bucket "));
    EXPECT_NE(std::string::npos, xml.find("<bucket bucketno=\"0\" count=\"3\" />"));
    EXPECT_NE(std::string::npos, xml.find("<bucket bucketno=\"59\" count=\"4\" />"));
    EXPECT_NE(std::string::npos, xml.find("name=\"LckOplockReleaseRecieved\" value=\"77\""));
    EXPECT_NE(std::string::npos, xml.find("    <tolmXmitDescs />\n"));
    const char* order[] = {"<bcp>", "<cifs>", "<exports>", "<leaseConn>", "<lock>", "<mount>",
                           "<mountCache>", "<mountpointCache>", "<nfs2>", "<nfs3>", "<packet>",
                           "<ra>", "<replayCache>", "<rootCache>", "<scp>", "<sessionMonitor>",
                           "<sidCache>", "<tolmXmitDescs", "<transport>"};
    size_t at = 0;
    for (const char* tag : order) {
        size_t p = xml.find(tag);
        ASSERT_NE(std::string::npos, p) << tag;
        EXPECT_LT(at, p) << tag;
        at = p;
    }
    // The histogram closes bcp, after its 18 counters.
    EXPECT_LT(xml.find("\"allocFailures\""), xml.find("<histogram>"));
    EXPECT_LT(xml.find("</histogram>"), xml.find("</bcp>"));
    // Pairs are one success/fail statistic.
    char pair[128];
    snprintf(pair, sizeof pair, "failed=\"%lld\" name=\"exprt\" succeeded=\"%lld\"",
             static_cast<long long>(r.data.mount.exprt.failed),
             static_cast<long long>(r.data.mount.exprt.succeeded));
    EXPECT_NE(std::string::npos, xml.find(pair));

    // All zero with skipping: an empty histogram element and all 19 sections empty.
    memset(&r.data, 0, sizeof r.data);
    std::string zero = render([&](XmlRenderer& x) { r.toXml(x); }, true);
    EXPECT_EQ(0, xmllint(dir, zero));
    EXPECT_NE(std::string::npos, zero.find("<bcp>\n\t<histogram />\n    </bcp>"));
    EXPECT_EQ(18, countOf(zero, " />\n") - 1);
}

TEST(RecordXml, DbladeLpFcdMgmt) {
    ScratchDir dir;
    Filler f(12);
    DbladeStats db;
    fillDblade(db, f);
    db.data.cpu0PctIdle = 42;
    std::string dxml = render([&](XmlRenderer& x) { db.toXml(x); }, true);
    EXPECT_EQ(0, xmllint(dir, dxml));
    EXPECT_NE(std::string::npos, dxml.find("    <statistic name=\"cpu0PercentIdle\" value=\"42\" />"));
    EXPECT_EQ(std::string::npos, dxml.find("cpu0PctIdle"));
    for (const char* lru : {"<normalInodeLru>", "<readdirLru>", "<smallFileLru>", "<largeFileLru>",
                            "<directoryLru>", "<metaDataLru>"})
        EXPECT_NE(std::string::npos, dxml.find(lru)) << lru;
    EXPECT_EQ(6, countOf(dxml, "name=\"dirtyQuotaWaits\""));
    EXPECT_NE(std::string::npos, dxml.find("<krqm>\n\t<statistic name=\"maxRnums\""));

    LpStatsSet set;
    fillLpSetData(set, f);
    set.data.volStatRpcStatus = 0;
    LpStats* good = makeLp(f, "good", 2);
    for (int i = 0; i < 16; i++) good->data.uuid[i] = static_cast<unsigned char>(i);
    good->data.statsRpcStatus = 0;
    good->data.numReads = 5;
    good->operator[](0).data.statsRpcStatus = 0;
    good->operator[](1).data.statsRpcStatus = 3;
    set.addLpStats(good);
    LpStats* failed = makeLp(f, "failed", 1);
    failed->data.statsRpcStatus = 9;
    set.addLpStats(failed);
    std::string lxml = render([&](XmlRenderer& x) { set.toXml(x); }, true);
    EXPECT_EQ(0, xmllint(dir, lxml));
    EXPECT_NE(std::string::npos, lxml.find("<lp name=\"good\" uuid=\"000102030405060708090a0b0c0d0e0f\">"));
    EXPECT_NE(std::string::npos, lxml.find("<global>"));
    EXPECT_EQ(1, countOf(lxml, "name=\"numReads\""));  // the failed pool hides its counters
    EXPECT_EQ(1, countOf(lxml, "name=\"volopBytesRead\""));  // one good volume of three
    EXPECT_NE(std::string::npos, lxml.find("name=\"statsRpcStatus\" value=\"9\""));
    EXPECT_EQ(3, countOf(lxml, "<vfs vfsid="));
    EXPECT_EQ(2, countOf(lxml, "name=\"state\""));
    set.data.volStatRpcStatus = 4;
    lxml = render([&](XmlRenderer& x) { set.toXml(x); }, true);
    EXPECT_EQ(std::string::npos, lxml.find("<global>"));
    EXPECT_NE(std::string::npos, lxml.find("name=\"volStatRpcStatus\" value=\"4\""));

    FcdStats fcd;
    fillFcdData(fcd, f);
    fcd.data.statsRpcStatus = 0;
    fcd.addDiskStats(makeDisk(f));
    fcd[0].diskType = 5;
    fcd[0].diskID = 7;
    std::string fxml = render([&](XmlRenderer& x) { fcd.toXml(x); }, true);
    EXPECT_EQ(0, xmllint(dir, fxml));
    EXPECT_NE(std::string::npos, fxml.find("<disk id=\"7\" type=\"5\">"));
    EXPECT_NE(std::string::npos, fxml.find("<global>"));
    fcd.data.statsRpcStatus = 2;
    fxml = render([&](XmlRenderer& x) { fcd.toXml(x); }, true);
    EXPECT_EQ(std::string::npos, fxml.find("<global>"));
    EXPECT_NE(std::string::npos, fxml.find("<disk id=\"7\" type=\"5\">"));

    MgmtProcStats m;
    fillMgmt(m, f);
    m.data.version = 1;
    m.data.timestampCreated = 55;
    std::string mxml = render([&](XmlRenderer& x) { m.toXml(x); }, true);
    EXPECT_EQ(0, xmllint(dir, mxml));
    EXPECT_EQ(0u, mxml.find("<mgmt created=\"55\" version=\"1\">\n    <tomcat>\n"));
    EXPECT_EQ(5, countOf(mxml, "name=\"vmlib\""));
}

TEST(RecordDump, TextForms) {
    Filler f(13);
    NbladeStats nb;
    fillNblade(nb, f);
    nb.data.version = 1;
    nb.data.bcp.freeBufferPool0 = 4294967295u;
    nb.data.bcp.histogram[59] = 8;
    nb.data.lock.null.succeeded = 0x100000000ull;
    nb.data._cifsStatsRpcStatus = 6;
    testing::internal::CaptureStdout();
    nb.dump();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0u, out.find("attribute=data.version value=1\nattribute=data.timestampCreated value="));
    EXPECT_EQ(std::string::npos, out.find("data.mask"));
    EXPECT_NE(std::string::npos, out.find("attribute=data.bcp.freeBufferPool0 value=-1\n"));
    EXPECT_NE(std::string::npos, out.find("\nattribute=data.bcp.histogram[59] value=8\nattribute=data.cifs.TotalChannels"));
    EXPECT_NE(std::string::npos, out.find("attribute=data.lock.null.succeeded value=4294967296\nattribute=data.lock.null.failed value="));
    EXPECT_EQ(out.size() - strlen("attribute=data._cifsStatsRpcStatus value=6\n"),
              out.rfind("attribute=data._cifsStatsRpcStatus value=6\n"));
    // 3 header lines, 18 + 60 bcp lines, every other field, pairs twice, 2 status lines.
    EXPECT_EQ(3 + 78 + 207 + 6 + 6 + 20 + 16 + 8 + 7 + 36 + 44 + 3 + 31 + 5 + 4 + 21 + 14 + 7 + 3 + 42 + 2,
              countOf(out, "\n"));

    FcdStats fcd;
    fillFcdData(fcd, f);
    fcd.addDiskStats(makeDisk(f));
    fcd[0].diskID = 7;
    fcd[0].diskType = 5;
    testing::internal::CaptureStdout();
    fcd.dump();
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("tapeWrites: "));
    EXPECT_NE(std::string::npos, out.find("\n******************************\ndiskID: 7\ndiskType: 5\nnumReadFrames: "));

    LpStatsSet set;
    fillLpSetData(set, f);
    LpStats* lp = makeLp(f, "p", 1);
    for (int i = 0; i < 16; i++) lp->data.uuid[i] = static_cast<unsigned char>(0xf0 + i);
    (*lp)[0].data.vfsid = 12;
    set.addLpStats(lp);
    testing::internal::CaptureStdout();
    set.dump();
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0u, out.find("globopGetAttrCount: "));
    EXPECT_NE(std::string::npos, out.find("\nstalledRnums: "));
    EXPECT_NE(std::string::npos, out.find("\n" + std::string(46, '*') + "\nname: p\nuuid: f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff\nstate: "));
    EXPECT_NE(std::string::npos, out.find("\n" + std::string(37, '-') + "\nid: 12\nvolopBytesRead: "));
    EXPECT_EQ(std::string::npos, out.find("RpcStatus"));

    MgmtProcStats m;
    fillMgmt(m, f);
    m.data.tomcat.vmsize = 1234;
    m.data.tolmstatsd.vmexe = 9;
    testing::internal::CaptureStdout();
    m.dump();
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(35, countOf(out, "\n"));
    EXPECT_EQ(0u, out.find("Tomcat: vmsize = 1234\nTomcat: vmlock = "));
    EXPECT_NE(std::string::npos, out.find("tolmstatsd: vmexe = 9\n"));
}

}  // namespace

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sheet/SheetError.h"
#include "sheet/XlsxXmlParser.h"

namespace vip::sheet {
namespace {

// Writes every event as text, attributes in order, so two parses compare.
class Recorder : public XlsxXmlHandler {
 public:
  void startElement(std::string_view name, const char** attributes) override {
    log += "<" + std::string(name);
    for (const char** a = attributes; *a != nullptr; a += 2) {
      log += " " + std::string(a[0]) + "=[" + a[1] + "]";
    }
    log += ">";
  }
  void endElement(std::string_view name) override { log += "</" + std::string(name) + ">"; }
  void characters(std::string_view text) override {
    if (!text.empty()) log += "{" + std::string(text) + "}";
  }
  std::string log;
};

// Text arrives in pieces (expat splits it at references and line ends, and
// more so when fed a byte at a time); joined it must read the same.
std::string joinedText(const std::string& log) {
  std::string joined;
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log.compare(i, 2, "}{") == 0) {
      ++i;
      continue;
    }
    joined += log[i];
  }
  return joined;
}

std::string scanWhole(const std::string& xml) {
  Recorder recorder;
  XlsxXmlParser parser(recorder, "f.xlsx", "xl/p.xml");
  parser.feed(xml);
  parser.finish();
  return joinedText(recorder.log);
}

std::string scanByteByByte(const std::string& xml) {
  Recorder recorder;
  XlsxXmlParser parser(recorder, "f.xlsx", "xl/p.xml");
  for (char c : xml)
    parser.feed(std::span<const char>(&c, 1));
  parser.finish();
  return joinedText(recorder.log);
}

TEST(XlsxXmlParser, ReadsWellFormedParts) {
  struct Case {
    std::string xml, events;
  };
  const Case cases[] = {
      {"<a/>", "<a></a>"},
      {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c --><a x=\"1\" y='2'/>\n",
       "<a x=[1] y=[2]></a>"},
      {"<x:c r=\"A1\" x:t=\"s\"><x:v>12</x:v></x:c>", "<c r=[A1] x:t=[s]><v>{12}</v></c>"},
      {"<t>a&amp;b&lt;&gt;&quot;&apos;&#x4E2D;&#20013;&#x1F600;</t>",
       "<t>{a&b<>\"'中中\xF0\x9F\x98\x80}</t>"},
      {"<t><![CDATA[<raw> &amp; ]]></t>", "<t>{<raw> &amp; }</t>"},
      {"<n f=\"[>=100]0\" g=\"a&amp;b&#10;c\tz\"/>", "<n f=[[>=100]0] g=[a&b\nc z]></n>"},
      {"<t>a\r\nb\rc&#13;</t>", "<t>{a\nb\nc\r}</t>"},
      {"<a><?pi data?><b>王</b></a>", "<a><b>{王}</b></a>"},
      {"<a\n  x = \"1\"\n></a >", "<a x=[1]></a>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(scanWhole(c.xml), c.events) << c.xml;
    EXPECT_EQ(scanByteByByte(c.xml), c.events) << c.xml;
  }
}

TEST(XlsxXmlParser, RefusesWhatIsNotWellFormed) {
  const std::string cases[] = {
      "",
      "<a>",
      "<a></b>",
      "</a>",
      "<a/><b/>",
      "text<a/>",
      "<a>&x;</a>",
      "<a>&#0;</a>",
      "<a>&#xD800;</a>",
      "<a>&amp</a>",
      "<a>\x01</a>",
      "<a>\xC3</a>",
      "<a>\xED\xA0\x80</a>",  // an encoded surrogate
      "<a x=1/>",
      "<a x=\"<\"/>",
      "<a x=\"1\"y=\"2\"/>",
      "<a x/>",
      "<a><!-- open</a>",
      "<a x=\"1",
      "<a><!FOO></a>",
      "<a><b/ ></a>",
  };
  for (const std::string& xml : cases) {
    Recorder recorder;
    XlsxXmlParser parser(recorder, "f.xlsx", "xl/p.xml");
    try {
      parser.feed(xml);
      parser.finish();
      ADD_FAILURE() << xml << " was read: " << recorder.log;
    } catch (const SheetError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("f.xlsx: malformed XML in xl/p.xml (line ", 0), 0u)
          << xml << ": " << e.what();
    }
  }
}

TEST(XlsxXmlParser, LongTextStreamsWithoutSplittingCharacters) {
  // Over a megabyte of text with no markup: handed out in pieces, never cut
  // inside a character or a reference.
  std::string text, expected;
  while (text.size() < (3u << 20)) {
    text += "中&amp;\r\n";
    expected += "中&\n";
  }
  const std::string xml = "<t>" + text + "</t>";
  Recorder recorder;
  XlsxXmlParser parser(recorder, "f.xlsx", "xl/p.xml");
  for (std::size_t i = 0; i < xml.size(); i += 65521) {
    parser.feed(
        std::span<const char>(xml).subspan(i, std::min<std::size_t>(65521, xml.size() - i)));
  }
  parser.finish();
  std::string joined;
  std::size_t pieces = 0;
  for (std::size_t i = 0; i < recorder.log.size(); ++i) {
    if (recorder.log.compare(i, 2, "}{") == 0) {
      ++pieces;
      ++i;
      continue;
    }
    joined += recorder.log[i];
  }
  EXPECT_GT(pieces, 0u);  // it did stream
  // Compared as a flag: a diff of megabytes is no help.
  EXPECT_TRUE(joined == "<t>{" + expected + "}</t>") << joined.substr(0, 200);
}

// Parts in another encoding are read too; declarations are refused whatever
// the encoding.
TEST(XlsxXmlParser, OtherEncodingsAndTheirRefusals) {
  Recorder recorder;
  XlsxXmlParser latin(recorder, "f.xlsx", "xl/p.xml");
  const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><t>caf\xE9</t>";
  latin.feed(latin1);
  latin.finish();
  EXPECT_EQ(recorder.log, "<t>{caf\xC3\xA9}</t>");

  const std::string bomb =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><!DOCTYPE t [<!ENTITY a "
      "\"aaaa\">]><t>&a;</t>";
  XlsxXmlParser refused(recorder, "f.xlsx", "xl/p.xml");
  try {
    refused.feed(bomb);
    refused.finish();
    ADD_FAILURE() << "the document type declaration was read";
  } catch (const SheetError& e) {
    EXPECT_NE(std::string(e.what()).find("f.xlsx: the part xl/p.xml"), std::string::npos)
        << e.what();
  }

  XlsxXmlParser utf8(recorder, "f.xlsx", "xl/q.xml");
  try {
    utf8.feed(std::string("<t>\xFF</t>"));
    utf8.finish();
    ADD_FAILURE() << "bad UTF-8 was read";
  } catch (const SheetError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("f.xlsx: malformed XML in xl/q.xml (line 1)", 0), 0u)
        << e.what();
  }
}

}  // namespace
}  // namespace vip::sheet

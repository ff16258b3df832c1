#include "test_support.h"

#include <cctype>
#include <stdexcept>

namespace messages_test {

namespace cm = cefclient_messages;

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower =
      static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  throw std::invalid_argument(std::string("not a hex digit: ") + c);
}

// Reads a varint at `pos`, advancing it.
std::uint64_t readVarint(std::string_view bytes, std::size_t& pos) {
  std::uint64_t value = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    if (pos >= bytes.size()) throw std::invalid_argument("truncated varint");
    const auto byte = static_cast<unsigned char>(bytes[pos++]);
    value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) return value;
  }
  throw std::invalid_argument("varint longer than ten bytes");
}

void appendVarint(std::string& out, std::uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>((value & 0x7F) | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

}  // namespace

std::string bytesFromHex(std::string_view hex) {
  std::string bytes;
  int high = -1;
  for (const char c : hex) {
    if (c == ' ') continue;
    const int digit = hexDigit(c);
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<char>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd number of hex digits");
  return bytes;
}

std::string hexFromBytes(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (!hex.empty()) hex.push_back(' ');
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  return hex;
}

std::vector<WireRecord> splitRecords(std::string_view bytes) {
  std::vector<WireRecord> records;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t start = pos;
    const std::uint64_t tag = readVarint(bytes, pos);
    WireRecord record;
    record.fieldNumber = static_cast<int>(tag >> 3);
    record.wireType = static_cast<int>(tag & 7);
    if (record.wireType == kVarint) {
      record.varint = readVarint(bytes, pos);
    } else if (record.wireType == kLengthDelimited) {
      const std::uint64_t length = readVarint(bytes, pos);
      if (length > bytes.size() - pos) {
        throw std::invalid_argument("length past the end");
      }
      record.payload = std::string(bytes.substr(pos, length));
      pos += length;
    } else {
      throw std::invalid_argument("wire type not written by this schema");
    }
    record.raw = std::string(bytes.substr(start, pos - start));
    records.push_back(std::move(record));
  }
  return records;
}

std::string joinRecords(const std::vector<WireRecord>& records) {
  std::string bytes;
  for (const auto& record : records) bytes += record.raw;
  return bytes;
}

std::string lengthDelimitedRecord(int fieldNumber, std::string_view payload) {
  std::string record;
  appendVarint(record,
               static_cast<std::uint64_t>(fieldNumber) << 3 | kLengthDelimited);
  appendVarint(record, payload.size());
  record += payload;
  return record;
}

cm::windowMessage completeEnvelope() {
  constexpr std::uint64_t kLarge = 0xFFFF'FFFF'0000'0001ULL;
  cm::windowMessage m;
  m.set_windowid("window-1");
  m.mutable_title()->set_title("title");
  m.mutable_icon()->set_icon("icon");
  m.mutable_size()->set_width(-1);
  m.mutable_size()->set_height(-2);
  auto& position = *m.mutable_position();
  position.set_x(-3);
  position.set_y(-4);
  position.set_width(-5);
  position.set_height(-6);
  position.set_flag(true);
  position.set_value64(kLarge);
  m.mutable_download()->set_text1("download-1");
  m.mutable_download()->set_text2("download-2");
  m.mutable_windowstate()->set_state("maximized");
  m.mutable_url()->set_url("https://example.invalid/");
  m.mutable_maxsize()->set_width(-7);
  m.mutable_maxsize()->set_height(-8);
  m.mutable_minsize()->set_width(-9);
  m.mutable_minsize()->set_height(-10);
  auto& newWindow = *m.mutable_newwindowinfo();
  newWindow.set_text1("new-1");
  newWindow.set_value1(-11);
  newWindow.set_value2(-12);
  newWindow.set_value3(-13);
  newWindow.set_value4(-14);
  newWindow.set_value5(-15);
  newWindow.set_flag1(true);
  newWindow.set_text2("new-2");
  newWindow.set_text3("new-3");
  newWindow.set_flag2(true);
  newWindow.set_text4("new-4");
  newWindow.set_text5("new-5");
  m.mutable_command()->set_command("reload");
  m.mutable_executejsinfo()->set_script("1+1");
  m.mutable_javascriptreturninfo()->set_flag(true);
  m.mutable_javascriptreturninfo()->set_result("2");
  auto& popUp = *m.mutable_popupwindowinfo();
  popUp.set_text1("popup-1");
  popUp.set_text2("popup-2");
  popUp.set_flag(true);
  popUp.set_value64(kLarge + 1);
  m.mutable_ontop()->set_ontop(true);
  m.mutable_downloaddir()->set_directory("/tmp/downloads");
  auto& getPosition = *m.mutable_getpositioninfo();
  getPosition.set_x(-16);
  getPosition.set_y(-17);
  getPosition.set_width(-18);
  getPosition.set_height(-19);
  m.mutable_renderprocessexitinfo()->set_status(-20);
  m.mutable_screenshotinfo()->set_text("shot");
  m.mutable_screenshotinfo()->set_value1(-21);
  m.mutable_screenshotinfo()->set_value2(-22);
  m.mutable_allowcertificateinfo()->set_text("certificate");
  m.mutable_zoomlevel()->set_zoomlevel(-23);
  m.mutable_updateurlinfo()->set_url("https://example.invalid/next");
  m.mutable_printtopdfinfo()->set_text("out.pdf");
  m.mutable_pdfeventinfo()->set_flag(true);
  m.mutable_dragdrop()->set_enabled(true);
  m.add_droppedfiles()->set_file("first.txt");
  m.add_droppedfiles()->set_file("second.txt");
  m.mutable_allwindowsactivated()->set_activated(true);
  m.mutable_windowmodal()->set_modal(true);
  m.mutable_alwaysontop()->set_alwaysontop(true);
  m.mutable_resizable()->set_resizable(true);
  auto& getOuter = *m.mutable_getouterpositioninfo();
  getOuter.set_x(-24);
  getOuter.set_y(-25);
  getOuter.set_width(-26);
  getOuter.set_height(-27);
  auto& outer = *m.mutable_outerposition();
  outer.set_x(-28);
  outer.set_y(-29);
  outer.set_width(-30);
  outer.set_height(-31);
  outer.set_flag(true);
  outer.set_value64(kLarge + 2);
  m.mutable_proxyauthinfo()->set_text1("user");
  m.mutable_proxyauthinfo()->set_text2("secret");
  m.mutable_allownavigation()->set_allow(true);
  return m;
}

cm::windowMessage_setLocation completeSetLocation() {
  cm::windowMessage_setLocation location;
  location.set_x(-32);
  location.set_y(-33);
  return location;
}

void PrintTo(const NestedType& type, std::ostream* os) { *os << type.name; }

const std::vector<NestedType>& nestedTypes() {
  static const std::vector<NestedType> types = {
      {"setTitle", &cm::windowMessage_setTitle::default_instance(), 2, "S"},
      {"setIcon", &cm::windowMessage_setIcon::default_instance(), 3, "S"},
      {"setSize", &cm::windowMessage_setSize::default_instance(), 4, "II"},
      {"setPosition", &cm::windowMessage_setPosition::default_instance(), 5,
       "IIIIBU"},
      {"setDownload", &cm::windowMessage_setDownload::default_instance(), 6,
       "SS"},
      {"setWindowState", &cm::windowMessage_setWindowState::default_instance(),
       7, "S"},
      {"setURL", &cm::windowMessage_setURL::default_instance(), 8, "S"},
      {"setMaxSize", &cm::windowMessage_setMaxSize::default_instance(), 9,
       "II"},
      {"setMinSize", &cm::windowMessage_setMinSize::default_instance(), 10,
       "II"},
      {"newWindow", &cm::windowMessage_newWindow::default_instance(), 11,
       "SIIIIIBSSBSS"},
      {"setCommand", &cm::windowMessage_setCommand::default_instance(), 12,
       "S"},
      {"executeJS", &cm::windowMessage_executeJS::default_instance(), 13, "S"},
      {"javascriptReturn",
       &cm::windowMessage_javascriptReturn::default_instance(), 14, "BS"},
      {"popUpWindow", &cm::windowMessage_popUpWindow::default_instance(), 15,
       "SSBU"},
      {"setOnTop", &cm::windowMessage_setOnTop::default_instance(), 16, "B"},
      {"setDownloadDir", &cm::windowMessage_setDownloadDir::default_instance(),
       17, "S"},
      {"getPosition", &cm::windowMessage_getPosition::default_instance(), 18,
       "IIII"},
      {"renderProcessExit",
       &cm::windowMessage_renderProcessExit::default_instance(), 19, "I"},
      {"ScreenShot", &cm::windowMessage_ScreenShot::default_instance(), 20,
       "SII"},
      {"AllowCertificate",
       &cm::windowMessage_AllowCertificate::default_instance(), 21, "S"},
      {"setZoomLevel", &cm::windowMessage_setZoomLevel::default_instance(), 22,
       "I"},
      {"UpdateURL", &cm::windowMessage_UpdateURL::default_instance(), 23, "S"},
      {"printToPDF", &cm::windowMessage_printToPDF::default_instance(), 24,
       "S"},
      {"pdfEvent", &cm::windowMessage_pdfEvent::default_instance(), 25, "B"},
      {"setDragDrop", &cm::windowMessage_setDragDrop::default_instance(), 26,
       "B"},
      {"DroppedFile", &cm::windowMessage_DroppedFile::default_instance(), 27,
       "S"},
      {"SetAllWindowsActivated",
       &cm::windowMessage_SetAllWindowsActivated::default_instance(), 28, "B"},
      {"SetWindowModal", &cm::windowMessage_SetWindowModal::default_instance(),
       29, "B"},
      {"WindowAlwaysOnTop",
       &cm::windowMessage_WindowAlwaysOnTop::default_instance(), 30, "B"},
      {"WindowResizable",
       &cm::windowMessage_WindowResizable::default_instance(), 31, "B"},
      {"getOuterPosition",
       &cm::windowMessage_getOuterPosition::default_instance(), 32, "IIII"},
      {"setOuterPosition",
       &cm::windowMessage_setOuterPosition::default_instance(), 33, "IIIIBU"},
      {"proxyAuth", &cm::windowMessage_proxyAuth::default_instance(), 34, "SS"},
      {"setAllowNavigation",
       &cm::windowMessage_setAllowNavigation::default_instance(), 35, "B"},
      {"setLocation", &cm::windowMessage_setLocation::default_instance(), 0,
       "II"},
  };
  return types;
}

std::string completeNestedBytes(const NestedType& type) {
  if (type.envelopeField == 0) return completeSetLocation().SerializeAsString();
  for (const auto& record :
       splitRecords(completeEnvelope().SerializeAsString())) {
    if (record.fieldNumber == type.envelopeField) return record.payload;
  }
  throw std::logic_error(std::string("complete envelope lacks ") + type.name);
}

}  // namespace messages_test

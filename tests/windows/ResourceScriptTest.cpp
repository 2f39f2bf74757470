// res/tarvane.rc read as the resource compiler reads it (ids from
// resource.h, style expressions, quoted texts) and held against the templates
// the other front ends are built from, so the Windows dialogs cannot drift.
#include "app/DialogTemplates.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace tarvane {
namespace {

namespace fs = std::filesystem;

const fs::path kRes = TARVANE_RES_DIR;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::map<std::string, int> resourceIds() {
    std::map<std::string, int> ids;
    std::istringstream in(readFile(kRes / "resource.h"));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string define, name;
        int value = 0;
        if (words >> define >> name >> value && define == "#define") ids[name] = value;
    }
    return ids;
}

// The comma-separated fields of one statement; quoted strings keep their
// doubled quotes undone and are marked by a leading '"'.
std::vector<std::string> fields(const std::string& statement) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (std::size_t i = 0; i < statement.size(); ++i) {
        const char c = statement[i];
        if (quoted) {
            if (c == '"' && i + 1 < statement.size() && statement[i + 1] == '"') {
                out.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                out.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
            out.back() += '"';
        } else if (c == ',') {
            out.emplace_back();
        } else if (c != ' ' || (!out.back().empty() && out.back().back() != ' ')) {
            out.back() += c;
        }
    }
    for (std::string& f : out) {
        while (!f.empty() && f.back() == ' ') f.pop_back();
    }
    return out;
}

struct StyleExpr {
    std::set<std::string> set;
    std::set<std::string> cleared; // written as NOT SYMBOL
};

StyleExpr styles(const std::string& expression) {
    StyleExpr result;
    std::istringstream words(expression);
    bool negate = false;
    for (std::string word; words >> word;) {
        if (word == "|") continue;
        if (word == "NOT") {
            negate = true;
            continue;
        }
        (negate ? result.cleared : result.set).insert(word);
        negate = false;
    }
    return result;
}

struct RcControl {
    std::string text;  // starts with '"' when quoted, else a resource name
    std::string id;
    std::string className;
    StyleExpr style;
    int x = 0, y = 0, width = 0, height = 0;
    StyleExpr exStyle;
};

struct RcDialog {
    std::string name;
    int width = 0, height = 0;
    StyleExpr style, exStyle;
    std::string caption;
    std::vector<std::string> font;
    std::vector<RcControl> controls;
};

std::string afterKeyword(const std::string& line, const std::string& keyword) {
    return line.substr(keyword.size() + 1);
}

RcDialog readDialog(const std::string& script, const std::string& name) {
    RcDialog dialog;
    dialog.name = name;
    std::istringstream in(script);
    std::string line;
    while (std::getline(in, line) && line.rfind(name + " DIALOGEX", 0) != 0) {
    }
    const auto size = fields(line.substr(name.size() + 10));
    if (size.size() != 4) return dialog;
    dialog.width = std::stoi(size[2]);
    dialog.height = std::stoi(size[3]);
    while (std::getline(in, line) && line != "BEGIN") {
        if (line.rfind("STYLE ", 0) == 0) dialog.style = styles(afterKeyword(line, "STYLE"));
        if (line.rfind("EXSTYLE ", 0) == 0) dialog.exStyle = styles(afterKeyword(line, "EXSTYLE"));
        if (line.rfind("CAPTION ", 0) == 0) dialog.caption = fields(afterKeyword(line, "CAPTION"))[0].substr(1);
        if (line.rfind("FONT ", 0) == 0) dialog.font = fields(afterKeyword(line, "FONT"));
    }
    while (std::getline(in, line) && line != "END") {
        const auto start = line.find_first_not_of(' ');
        if (start == std::string::npos) continue;
        const std::string statement = line.substr(start);
        EXPECT_EQ(statement.rfind("CONTROL ", 0), 0u) << "every control is written as CONTROL: " << statement;
        const auto f = fields(statement.substr(8));
        EXPECT_TRUE(f.size() == 8 || f.size() == 9) << statement;
        if (f.size() < 8) continue;
        RcControl c{f[0], f[1], f[2].substr(1), styles(f[3]), std::stoi(f[4]), std::stoi(f[5]),
                    std::stoi(f[6]), std::stoi(f[7]), f.size() == 9 ? styles(f[8]) : StyleExpr{}};
        dialog.controls.push_back(c);
    }
    return dialog;
}

std::string className(ControlKind kind) {
    switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::RadioButton:
        return "Button";
    case ControlKind::Text:
    case ControlKind::SunkenText:
    case ControlKind::Picture:
        return "Static";
    case ControlKind::Log:
        return "Edit";
    case ControlKind::ProgressBar:
        return "msctls_progress32";
    }
    return {};
}

// The styles each kind of control must carry besides the flags of the table.
std::set<std::string> kindStyles(ControlKind kind) {
    switch (kind) {
    case ControlKind::PushButton:
        return {"BS_PUSHBUTTON"};
    case ControlKind::RadioButton:
        return {"BS_AUTORADIOBUTTON"};
    case ControlKind::Text:
        return {"SS_LEFT"};
    case ControlKind::SunkenText:
        return {"SS_LEFT", "SS_ENDELLIPSIS"};
    case ControlKind::Picture:
        return {"SS_BITMAP"};
    case ControlKind::Log:
        return {"ES_MULTILINE", "ES_READONLY", "ES_AUTOHSCROLL", "WS_BORDER", "WS_VSCROLL"};
    case ControlKind::ProgressBar:
        return {};
    }
    return {};
}

void expectDialogMatches(const RcDialog& rc, const DialogTemplate& expected, const std::map<std::string, int>& ids) {
    SCOPED_TRACE(rc.name);
    EXPECT_EQ(ids.at(rc.name), expected.id);
    EXPECT_EQ(rc.width, expected.width);
    EXPECT_EQ(rc.height, expected.height);
    EXPECT_EQ(rc.caption, expected.caption);
    ASSERT_EQ(rc.font.size(), 5u);
    EXPECT_EQ(std::stoi(rc.font[0]), expected.pointSize);
    EXPECT_EQ(rc.font[1], "\"" + std::string(expected.font));
    EXPECT_EQ(rc.font[2], "400");  // normal weight
    EXPECT_EQ(rc.font[3], "0");    // not italic

    ASSERT_EQ(rc.controls.size(), expected.controls.size());
    for (std::size_t i = 0; i < rc.controls.size(); ++i) {
        const RcControl& c = rc.controls[i];
        const ControlTemplate& t = expected.controls[i];
        SCOPED_TRACE(c.id);
        ASSERT_TRUE(ids.count(c.id)) << "not in resource.h";
        EXPECT_EQ(ids.at(c.id), t.id) << "template order";
        EXPECT_EQ(c.className, className(t.kind));
        if (t.kind == ControlKind::Picture) {
            ASSERT_TRUE(ids.count(c.text));
            EXPECT_EQ(ids.at(c.text), t.bitmapId);
        } else {
            EXPECT_EQ(c.text, "\"" + std::string(t.text));
        }
        EXPECT_EQ(c.x, t.x);
        EXPECT_EQ(c.y, t.y);
        EXPECT_EQ(c.width, t.width);
        EXPECT_EQ(c.height, t.height);

        std::set<std::string> wanted = kindStyles(t.kind);
        if (t.tabStop) wanted.insert("WS_TABSTOP");
        if (t.group) wanted.insert("WS_GROUP");
        if (!t.enabledAtStart) wanted.insert("WS_DISABLED");
        EXPECT_EQ(c.style.set, wanted);
        EXPECT_EQ(c.style.cleared, t.visibleAtStart ? std::set<std::string>{} : std::set<std::string>{"WS_VISIBLE"});
        EXPECT_EQ(c.exStyle.set, t.kind == ControlKind::SunkenText ? std::set<std::string>{"WS_EX_STATICEDGE"}
                                                                   : std::set<std::string>{});
    }
}

class ResourceScriptTest : public ::testing::Test {
protected:
    std::map<std::string, int> ids = resourceIds();
    std::string script = readFile(kRes / "tarvane.rc");
};

TEST_F(ResourceScriptTest, MainTemplateMatchesTheWindowsControls) {
    const RcDialog main = readDialog(script, "IDD_MAIN");
    expectDialogMatches(main, mainDialogTemplate(), ids);
    EXPECT_EQ(main.style.set, (std::set<std::string>{"DS_SETFONT", "DS_MODALFRAME", "DS_CENTER", "WS_POPUP",
                                                      "WS_VISIBLE", "WS_CAPTION", "WS_SYSMENU"}));
    EXPECT_EQ(main.exStyle.set, std::set<std::string>{"WS_EX_APPWINDOW"});

    // Only the two radio buttons share the group that begins at STEP 3, so
    // choosing one clears the other.
    int group = 0;
    std::map<int, int> radiosInGroup;
    for (const ControlTemplate& c : mainDialogTemplate().controls) {
        if (c.group) ++group;
        if (c.kind == ControlKind::RadioButton) ++radiosInGroup[group];
    }
    ASSERT_EQ(radiosInGroup.size(), 1u);
    EXPECT_EQ(radiosInGroup.begin()->second, 2);
}

TEST_F(ResourceScriptTest, NotesTemplateMatches) {
    const RcDialog notes = readDialog(script, "IDD_NOTES");
    expectDialogMatches(notes, notesDialogTemplate(), ids);
    EXPECT_EQ(notes.style.set,
              (std::set<std::string>{"DS_SETFONT", "DS_MODALFRAME", "WS_POPUP", "WS_CAPTION", "WS_SYSMENU"}));
    EXPECT_EQ(notes.exStyle.set, (std::set<std::string>{"WS_EX_TOOLWINDOW", "WS_EX_STATICEDGE"}));
}

TEST_F(ResourceScriptTest, PicturesIconManifestAndVersionAreDeclared) {
    for (const char* bitmap : {"IDB_BOARD_INTERFACE", "IDB_BOARD", "IDB_BOARD_DISPLAY", "IDB_DEVICE",
                               "IDB_DEVICE_ACCESS", "IDB_NOTE_READY", "IDB_NOTE_SETUP"}) {
        const auto at = script.find(std::string("\n") + bitmap + " BITMAP \"");
        ASSERT_NE(at, std::string::npos) << bitmap;
        const auto start = script.find('"', at) + 1;
        const std::string file = script.substr(start, script.find('"', start) - start);
        EXPECT_TRUE(fs::exists(kRes / file)) << file;
    }
    EXPECT_NE(script.find("\nIDI_MAIN ICON \"tarvane.ico\""), std::string::npos);
    EXPECT_EQ(ids.at("IDI_MAIN"), 135);

    // UTF-8 source, so the copyright sign (and any dash) reaches the binary intact.
    EXPECT_NE(script.find("\n#pragma code_page(65001)"), std::string::npos);
    for (const char* entry : {"FILEVERSION 1, 1, 0, 0", "PRODUCTVERSION 1, 1, 0, 0", "BLOCK \"040904b0\"",
                              "VALUE \"FileDescription\", \"Tarvane Firmware Updater\"",
                              "VALUE \"ProductName\", \"Tarvane Firmware Updater\"",
                              "VALUE \"OriginalFilename\", \"tarvane-updater.exe\"",
                              "VALUE \"InternalName\", \"tarvane-updater.exe\"", "VALUE \"CompanyName\"",
                              "VALUE \"LegalCopyright\"", "VALUE \"Translation\", 0x0409, 1200",
                              "CREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST \"tarvane.manifest\""}) {
        EXPECT_NE(script.find(entry), std::string::npos) << entry;
    }

    const std::string manifest = readFile(kRes / "tarvane.manifest.in");
    for (const char* entry : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                              "processorArchitecture=\"@TARVANE_MANIFEST_ARCH@\"", "level=\"asInvoker\"",
                              "uiAccess=\"false\"", ">true</dpiAware>"}) {
        EXPECT_NE(manifest.find(entry), std::string::npos) << entry;
    }
}

} // namespace
} // namespace tarvane

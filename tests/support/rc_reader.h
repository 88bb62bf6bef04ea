// Reads resources/vespra.rc and resource.h for the native build, so the tests see
// the same texts and controls as Windows does.
#pragma once

#include <map>
#include <string>
#include <vector>

struct RcControl {
    int id = 0;
    std::string kind;      // LTEXT, PUSHBUTTON, CONTROL, ...
    std::string className; // for CONTROL
    std::string text;
    int x = 0, y = 0, cx = 0, cy = 0;
    bool visible = true;
    bool enabled = true;
    bool isDefault = false;
    std::string style; // the raw style expression
};

struct RcDialog {
    int id = 0;
    std::string caption;
    std::string style, exStyle;
    std::string fontName;
    int fontSize = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::vector<RcControl> controls;
};

struct RcData {
    std::map<std::string, long> symbols;
    std::map<int, std::string> strings;
    std::map<int, RcDialog> dialogs;
};

// Parses the resource script text; resource.h is read through its #include.
RcData ParseRc(const std::string &rcText, const std::string &headerText);
// The program's own resources, parsed once.
const RcData &ProgramResources();

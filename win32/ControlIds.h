#pragma once

#include "forms/FormDesigns.h"
#include "forms/RunChoices.h"

#include <array>

#include <cstddef>
#include <stdexcept>
#include <string_view>
#include <type_traits>

// A control's id in its window: its row in the window's design table, from kFirstControlId on.
// Ids below stay free for the dialog manager's own (IDOK, IDCANCEL).
namespace win32ui {

inline constexpr int kFirstControlId = 1000;

constexpr int controlId(const layout::Window& window, std::string_view name) {
    for (std::size_t i = 0; i < window.controls.size(); ++i)
        if (window.controls[i].name == name)
            return kFirstControlId + int(i);
    return -1;
}

// The id of a control the table has: a name it lacks does not compile.
consteval int idIn(const layout::Window& window, std::string_view name) {
    const int id = controlId(window, name);
    if (id < 0)
        throw std::out_of_range("no control of that name");
    return id;
}

// The controls the windows answer, read and write, by id: their commands go through a switch.
inline constexpr int kMainText1 = idIn(layout::kMainForm, "Text1");
inline constexpr int kMainCmdOpen = idIn(layout::kMainForm, "CmdOpen");
inline constexpr int kMainCmdAdd = idIn(layout::kMainForm, "CmdAdd");
inline constexpr int kMainCommand2 = idIn(layout::kMainForm, "Command2");
inline constexpr int kMainCommand1 = idIn(layout::kMainForm, "Command1");
inline constexpr int kMainCommand3 = idIn(layout::kMainForm, "Command3");
inline constexpr int kMainCommand4 = idIn(layout::kMainForm, "Command4");
inline constexpr int kMainOption1 = idIn(layout::kMainForm, "Option1");
inline constexpr int kMainOption2 = idIn(layout::kMainForm, "Option2");
inline constexpr int kMainOption3 = idIn(layout::kMainForm, "Option3");
inline constexpr int kMainOption4 = idIn(layout::kMainForm, "Option4");
inline constexpr int kMainCheck1 = idIn(layout::kMainForm, "Check1");
inline constexpr int kMainADL = idIn(layout::kMainForm, "ADL");
inline constexpr int kMainOReplace = idIn(layout::kMainForm, "OReplace");
inline constexpr int kMainOhead = idIn(layout::kMainForm, "Ohead");
inline constexpr int kMainOfeet = idIn(layout::kMainForm, "Ofeet");
inline constexpr int kMainOHeadEnd = idIn(layout::kMainForm, "OHeadEnd");
inline constexpr int kMainOBodyEnd = idIn(layout::kMainForm, "OBodyEnd");
inline constexpr int kMainOOther = idIn(layout::kMainForm, "OOther");
inline constexpr int kMainTOther = idIn(layout::kMainForm, "TOther");
inline constexpr int kMainTExclude = idIn(layout::kMainForm, "TExclude");
inline constexpr int kMainCheckPreview = idIn(layout::kMainForm, "CheckPreview");

// The ids of a list of options (rows with an `option` name, or the names themselves), in its order.
template <class Option, std::size_t N>
consteval std::array<int, N> idsIn(const layout::Window& window, const Option (&options)[N]) {
    std::array<int, N> ids{};
    for (std::size_t i = 0; i < N; ++i) {
        if constexpr (std::is_convertible_v<Option, std::string_view>)
            ids[i] = idIn(window, options[i]);
        else
            ids[i] = idIn(window, options[i].option);
    }
    return ids;
}
inline constexpr auto kMainActionIds = idsIn(layout::kMainForm, layout::kActionOptions);
inline constexpr auto kMainBesideIds = idsIn(layout::kMainForm, layout::kBesideOptions);
inline constexpr auto kMainPositionIds = idsIn(layout::kMainForm, layout::kPositionOptions);

inline constexpr int kTextsText1 = idIn(layout::kTexts, "Text1");
inline constexpr int kTextsCommand1 = idIn(layout::kTexts, "Command1");
inline constexpr int kTextsCheck1 = idIn(layout::kTexts, "Check1");
inline constexpr int kTextsCheck2 = idIn(layout::kTexts, "Check2");
inline constexpr int kTextsCheck3 = idIn(layout::kTexts, "Check3");
inline constexpr int kTextsText2 = idIn(layout::kTexts, "Text2");

inline constexpr int kFileBroDrive1 = idIn(layout::kFileBro, "Drive1");
inline constexpr int kFileBroFile1 = idIn(layout::kFileBro, "File1");
inline constexpr int kFileBroDir1 = idIn(layout::kFileBro, "Dir1");
inline constexpr int kFileBroCommand1 = idIn(layout::kFileBro, "Command1");
inline constexpr int kFileBroCheck1 = idIn(layout::kFileBro, "Check1");

inline constexpr int kAboutCommand1 = idIn(layout::kAbout, "Command1");
inline constexpr int kAboutText1 = idIn(layout::kAbout, "Text1");
inline constexpr int kAboutLabel4 = idIn(layout::kAbout, "Label4");
inline constexpr int kAboutText2 = idIn(layout::kAbout, "Text2");
inline constexpr int kAboutLabel6 = idIn(layout::kAbout, "Label6");
inline constexpr int kAboutLabel7 = idIn(layout::kAbout, "Label7");

// The window classes, for FindWindowW.
inline constexpr const wchar_t* kMainFormClass = L"Stepwick.MainForm";
inline constexpr const wchar_t* kTextsClass = L"Stepwick.Texts";
inline constexpr const wchar_t* kFileBroClass = L"Stepwick.FileBro";
inline constexpr const wchar_t* kAboutClass = L"Stepwick.About";
inline constexpr const wchar_t* kProgressClass = L"Stepwick.Progress";

// The progress window's controls.
inline constexpr int kProgressTextId = 900;
inline constexpr int kProgressBarId = 901;
inline constexpr int kProgressCancelId = 902;

} // namespace win32ui

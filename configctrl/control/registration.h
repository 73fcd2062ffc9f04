// The control's registration identifiers, kept as they were registered for
// the component system of the control's first host platform; AboutBox shows
// them. Nothing here registers anything on this platform.
#pragma once

namespace configctrl::registration {

inline constexpr char kTypeLibraryName[] = "ZYNCONFIGCTRLLib";
inline constexpr char kTypeLibraryId[] = "{0F8B6617-D51B-45EE-819B-B2DEF7F9CD5E}";
inline constexpr int kTypeLibraryVersionMajor = 1;
inline constexpr int kTypeLibraryVersionMinor = 0;
inline constexpr int kTypeLibraryLocale = 0x409;
inline constexpr char kTypeLibraryHelpString[] = "ZynConFigCtrl ActiveX Control module";
inline constexpr char kTypeLibraryHelpFile[] = "ZynConFigCtrl.hlp";

inline constexpr char kDispatchInterfaceName[] = "_DZynConFigCtrl";
inline constexpr char kDispatchInterfaceId[] = "{D3A8BC6C-CABA-4C37-AAC0-059E83E924B8}";
inline constexpr char kDispatchInterfaceHelpString[] =
    "Dispatch interface for ZynConFigCtrl Control";
inline constexpr char kEventInterfaceName[] = "_DZynConFigCtrlEvents";
inline constexpr char kEventInterfaceId[] = "{70960BA9-5673-465B-815A-7AF9882CCD82}";
inline constexpr char kEventInterfaceHelpString[] = "Event interface for ZynConFigCtrl Control";

inline constexpr char kControlClassName[] = "ZynConFigCtrl";
inline constexpr char kControlClassId[] = "{54EEDA6F-33CE-4D2A-9FC1-E5CA742C82F5}";
inline constexpr char kControlProgId[] = "ZYNCONFIGCTRL.ZynConFigCtrlCtrl.1";
inline constexpr char kControlTypeName[] = "ZynConFigCtrl Control";
inline constexpr char kPropertyPageClassId[] = "{0DDCF412-4508-4E43-BBB7-AFE2EB33D3F2}";
inline constexpr char kPropertyPageProgId[] = "ZYNCONFIGCTRL.ZynConFigCtrlPropPage.1";
inline constexpr char kPropertyPageTypeName[] = "ZynConFigCtrl Property Page";
inline constexpr char kPropertyPageCaption[] = "General";
inline constexpr char kThreadingModel[] = "apartment";
inline constexpr unsigned kMiscStatus = 0x20191;

// The control's version (the only thing its property exchange stores).
inline constexpr int kControlVersionMajor = 1;
inline constexpr int kControlVersionMinor = 0;

// Dispatch identifiers of the automation methods.
inline constexpr int kDispIdLoginDevice = 1;
inline constexpr int kDispIdMoveWindow = 2;
inline constexpr int kDispIdAboutBox = -552;

}  // namespace configctrl::registration

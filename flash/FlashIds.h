// Identifiers of the Shockwave Flash ActiveX control as the installer uses
// them: the class, the default dual interface, the event interface, and the
// dispatch identifiers of the properties and events it touches. Shared by the
// host and by the test stand-in control.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oaidl.h>

namespace ss {

// {D27CDB6E-AE6D-11cf-96B8-444553540000}
constexpr CLSID kClsidShockwaveFlash = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6C-AE6D-11CF-96B8-444553540000}
constexpr IID kIidShockwaveFlash = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6D-AE6D-11CF-96B8-444553540000}
constexpr IID kDiidShockwaveFlashEvents = {0xD27CDB6D, 0xAE6D, 0x11CF,
                                           {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

constexpr char kFlashClsidText[] = "{D27CDB6E-AE6D-11cf-96B8-444553540000}";
constexpr char kFlashInprocKey[] = "CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32";

// Properties, set through IDispatch by identifier.
constexpr DISPID kDispidMovie = 102;
constexpr DISPID kDispidScaleMode = 120;
constexpr DISPID kDispidWMode = 133;
constexpr DISPID kDispidMenu = 135;

// Events.
constexpr DISPID kDispidOnReadyStateChange = -609;
constexpr DISPID kDispidOnProgress = 1958;
constexpr DISPID kDispidOnFSCommand = 150;
constexpr DISPID kDispidFlashCall = 197;

}  // namespace ss

#pragma once
// Turns a metafile into SVG with an outside converter from Debian: wmf2svg
// (libwmf-bin) for WMF, emf2svg-conv (emf2svg) for EMF. The converter runs as
// a separate process on a temporary copy of the file, killed after 10 s, with
// its output file capped at 64 MiB and its memory at 1 GiB, so a hostile file
// costs at most that. The copy of a placeable WMF gets its frame marked, so
// that libwmf keeps the margins around the drawing.

#include <QByteArray>
#include <string>

namespace kelvora {

// The SVG text. EInvalidGraphic "メタファイルを読み込めません (%1 が見つかりません)"
// when the converter is not installed, "メタファイルを読み込めません" when it
// fails, is killed or writes nothing.
QByteArray metafileToSvg(const std::string& bytes, bool enhanced);

} // namespace kelvora

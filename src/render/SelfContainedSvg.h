#pragma once

#include <QByteArray>

// The check between libemf2svg and the SVG renderer. libemf2svg writes a text record's
// characters into its SVG unescaped, so a file's text can add markup, and a renderer
// that follows references would open whatever file an image element or a style sheet
// names (QSvgRenderer did; librsvg, given no base location, follows none: the check and
// that hold each on their own). A document
// that holds only what refers to nothing outside it is returned as it is (one reading,
// no copy: what the libraries write nearly always is); any other is written again
// without what refers outside it:
// - left out with everything inside them: script, foreignObject and style elements, and
//   every element with an href (any namespace) other than "#id", except an image whose
//   href is an embedded PNG or JPEG picture (data:image/png, image/jpeg or image/jpg,
//   base64) whose bytes begin as that format's do;
// - attributes left out: any whose value holds url(...) other than url(#id), @import or
//   a backslash (a style sheet's escape);
// - processing instructions (xml-stylesheet); and, in a document written again, the
//   document type and comments too.
// Text is written back as text (escaped), so the file's text still draws as text. A
// document that is not well-formed, or that declares or uses entities, gives an empty
// array.
QByteArray selfContainedSvg(const QByteArray& svg);

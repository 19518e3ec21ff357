#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// Renders the SVG a metafile library wrote (libemf2svg) with librsvg, a complete SVG 1.1
// renderer (clip paths, masks, patterns, markers, dashing, text through Pango), into a
// cairo image surface over the returned image's own pixels: white underneath, the
// document stretched to the given size. The document first passes the markup check
// (SelfContainedSvg.h), and librsvg gets it from memory with no base file, so it has no
// location to resolve a reference against and loads nothing but what the document
// holds; its parser keeps its safety limits (no RSVG_HANDLE_FLAG_UNLIMITED). A null image
// when the document can't be parsed or drawn.
QImage renderSvg(const QByteArray& svg, QSize size);

// librsvg alone, without the markup check (the tests show what it refuses on its own).
QImage renderSvgDocument(const QByteArray& document, QSize size);

// Loads what librsvg would otherwise load from files the first time it draws an
// embedded picture (gdk-pixbuf's list of image loaders): called once before the helper's
// file confinement. Text is left alone: Pango sets fontconfig up when the first text is
// drawn, after libemf2svg may have torn it down.
void prepareSvgRendering();

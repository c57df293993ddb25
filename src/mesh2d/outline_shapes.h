#pragma once
// Generated outline shapes and the text description of an outline file, as
// used by the kalmora-outline tool and by test fixtures.  All shapes run
// counter-clockwise; sharp corners are always segment end points so that the
// resampling keeps them.

#include <string>
#include <vector>

#include "mesh2d/outline_file.h"

// Largest magnitude of a number in an outline description, mm.
inline constexpr double kMaxCoordinate = 1.0e6;

// Circle of centre (cx, cy) and diameter d with nSeg quadratic segments
// (corner points at equal angles, middle points at the half angles).
RawOutline CircleOutline(double cx, double cy, double d, int nSeg);

// Axis-parallel rectangle of centre (cx, cy), width w, height h; with a
// corner radius r > 0 each corner is a quarter arc of two segments.
RawOutline RectangleOutline(double cx, double cy, double w, double h, double r);

// Closed polygon through the given corners (x1, y1, x2, y2, ...), one
// straight segment per edge.
RawOutline PolygonOutline(const std::vector<double>& xy);

// Parses an outline description:
//   # comment (also after values)
//   outline NAME                 starts an outline; NAME has at most 6 characters
//   circle CX CY D [NSEG]        NSEG defaults to 16
//   rectangle CX CY W H [R]
//   polygon X1 Y1 X2 Y2 X3 Y3 ...
//   points                       followed by "X Y" lines up to "end": segment
//                                start and middle points alternately
// Every outline takes exactly one shape.  Numbers must lie within
// +-kMaxCoordinate.  Errors are returned as
// "file:line: message" in `error` (the result is then empty).
std::vector<RawOutline> ParseOutlineDescription(const std::string& fileName, const std::string& text,
                                                std::string& error);

#pragma once

#include <QStringList>

// The tool's commands, each in a file of its own; main.cpp lists them.
namespace tool {

/// `image2d enhance [INPUT...] [-o OUTPUT] [options]`.
int runEnhanceCommand(const QStringList& arguments);
/// `image2d info [INPUT] [--json] [--media M]`.
int runInfoCommand(const QStringList& arguments);
/// `image2d phantom [-o OUTPUT] [--media M] [--masks DIR]`.
int runPhantomCommand(const QStringList& arguments);
/// `image2d reslice SERIES_DIR|--phantom -o OUT [options]`.
int runResliceCommand(const QStringList& arguments);

/// `image2d segment [INPUT] [--origin X,Y] [-o OVERLAY] [--mask MASK] [--ridges DIR]`.
int runSegmentCommand(const QStringList& arguments);

} // namespace tool

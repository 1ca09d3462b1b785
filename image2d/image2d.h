#pragma once

// Umbrella header: every public header of the library.

#include "image2d/version.h"

// Host-library stand-ins
#include "platform/documentmodel/CTData.h"
#include "platform/documentmodel/ImageFilter.h"
#include "platform/documentmodel/ImageFilterHelpers.h"
#include "platform/documentmodel/MediaAutoContrastSettings.h"
#include "platform/documentmodel/MediaType.h"
#include "platform/documentmodel/Reslice.h"
#include "platform/foundation/ColorUtil.h"
#include "platform/foundation/StringConversions.h"
#include "platform/maths/Operations.h"
#include "platform/maths/Range.h"
#include "platform/maths/Vec3.h"
#include "platform/pixeldata/Conversions.h"
#include "platform/pixeldata/Image2D.h"
#include "platform/pixeldata/Image2DCache.h"
#include "platform/pixeldata/LevelWindow.h"
#include "platform/pixeldata/PixelTypes.h"
#include "platform/pixeldata/VoxenImage3D.h"
#include "platform/task/Calculation.h"
#include "platform/task/ThreadProgress.h"
#include "platform/utility/Optional.h"
#include "platform/volume/VoxenImage3DConvertor.h"
#include "platform/volume/VoxenImage3DReslicer.h"
#include "platform/volume/VoxenImageBinaryTools.h"
#include "platform/volume/VoxenImageGaussianSmooth.h"

// Algorithm framework
#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Log.h"
#include "image2d/framework/Parallel.h"
#include "image2d/framework/Parameters.h"
#include "image2d/framework/PixelStore.h"
#include "image2d/framework/Uniforms.h"

// Pixel-wise operations
#include "image2d/pointops/ImageArithmetic.h"
#include "image2d/pointops/IntensityMapping.h"

// Neighbourhood filtering
#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"
#include "image2d/filtering/LocalStatistics.h"
#include "image2d/filtering/Smoothing.h"

// Enhancement
#include "image2d/enhancement/AutoContrast.h"
#include "image2d/enhancement/AutoLevelWindow3D.h"
#include "image2d/enhancement/HistogramEqualization.h"
#include "image2d/enhancement/Ketrix.h"
#include "image2d/enhancement/Navrel.h"
#include "image2d/enhancement/SharpenOrvane.h"
#include "image2d/enhancement/StarkAdaptiveHistogramEqualization.h"
#include "image2d/enhancement/UnsharpMasking.h"

// Filter pipeline
#include "image2d/pipeline/FilterSet.h"
#include "image2d/pipeline/FilterSetProcessor.h"
#include "image2d/pipeline/ImageFilterConversion.h"

// Toolbox
#include "image2d/toolbox/Geometry.h"
#include "image2d/toolbox/Image2DOperations.h"
#include "image2d/toolbox/QImageHelpers.h"

// Binary and region analysis
#include "image2d/analysis/DistanceTransform.h"
#include "image2d/analysis/Labeling.h"
#include "image2d/analysis/Skeletonization.h"

// Segmentation and feature detection
#include "image2d/analysis/Ridges.h"
#include "image2d/analysis/TeethRidges.h"
#include "image2d/analysis/ToothSegmentation.h"

// Measurements
#include "image2d/analysis/Exposure.h"
#include "image2d/analysis/Histograms.h"
#include "image2d/analysis/Measurements.h"

// CT volumes
#include "image2d/volume/GeneratedCeph.h"
#include "image2d/volume/PerSliceOperations.h"
#include "image2d/volume/CachedReslicer.h"
#include "image2d/volume/ResliceExtractor.h"

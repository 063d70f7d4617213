#pragma once
// The panorama project library: project model and file, images, worker pool
// and reader/writer locks, tile planning, shooting path, merging and script
// import, preview warping, composite and flow-chart layout.
#include "VELDANPanorama/AccessControl.h"
#include "VELDANPanorama/PanoramaImage.h"
#include "VELDANPanorama/PanoramaModel.h"
#include "VELDANPanorama/PanoramaProject.h"
#include "VELDANPanorama/PanoramaStitcher.h"
#include "VELDANPanorama/Records.h"
#include "VELDANPanorama/ThreadPool.h"

#pragma once
#include "platform/Export.h"

// Records that the project file stores as attributes of the element the
// caller has started. Save and Load take the libxml2 text writer or text
// reader as an untyped handle.

// A range of the sphere in degrees: azimuth begin..end, elevation begin..end.
class VELDAN_API _FOV {
public:
    double begin_theta = 0;
    double end_theta = 360;
    double begin_phi = -90;
    double end_phi = 90;

    _FOV() = default;
    _FOV(const _FOV&) = default;
    _FOV& operator=(const _FOV&) = default;
    virtual ~_FOV();
    virtual bool Save(void* writer);
    virtual bool Load(void* reader);
};

// One direction on the sphere in degrees.
class VELDAN_API _POLAR_COORDINATES {
public:
    double theta = 0;
    double phi = 0;

    _POLAR_COORDINATES() = default;
    _POLAR_COORDINATES(const _POLAR_COORDINATES&) = default;
    _POLAR_COORDINATES& operator=(const _POLAR_COORDINATES&) = default;
    virtual ~_POLAR_COORDINATES();
    virtual bool Save(void* writer);
    virtual bool Load(void* reader);
};

#pragma once
#include "RgbImage.h"

namespace veldan::headsim {

// What a camera on the head sees.
struct ViewSpec {
    double azimuthDeg = 0.0;    // horizontal angle of the head: azimuth grows to the right
    double elevationDeg = 0.0;  // vertical angle: elevation grows upwards
    double focalMm = 50.0;
    double sensorWidthMm = 36.0;   // the sensor's long side
    double sensorHeightMm = 24.0;  // the sensor's short side
    bool portrait = false;         // camera turned a quarter: the long side runs vertically
    int width = 1500;              // pixels of the stored file, long side
    int height = 1000;             // short side
};

// Renders the rectilinear view of an equirectangular panorama.
//
// Panorama mapping (as the preview lays out a full sphere): column x is the
// azimuth x·360/W degrees (the picture wraps), row y the elevation
// 90 − y·180/(H−1) degrees. Image plane of the view (the same geometry the
// preview warps with): centre C = dir(θ, φ), a = dir(θ + 90°, 0) · frame
// width / f pointing to increasing azimuth, b = dir(θ, φ − 90°) · frame
// height / f pointing down; the picture covers plane coordinates
// s, t ∈ [−½, ½), pixel (i, j) at s = (i + ½)/w − ½, t = (j + ½)/h − ½.
// Samples are bilinear.
//
// In portrait orientation the upright view is h × w pixels (frame width the
// short sensor side) and is stored turned a quarter clockwise as w × h, the
// way a turned camera writes it: turning the file a quarter counter-clockwise
// shows it upright.
RgbImage RenderView(const RgbImage& panorama, const ViewSpec& view);

// The upright (as seen) view, before any turn for storage.
RgbImage RenderUprightView(const RgbImage& panorama, const ViewSpec& view);

// Turns a picture a quarter clockwise.
RgbImage TurnClockwise(const RgbImage& image);

// Bilinear sample of the panorama at an azimuth and elevation (degrees).
void SamplePanorama(const RgbImage& panorama, double azimuthDeg, double elevationDeg, uint8_t rgb[3]);

// Direction (azimuth, elevation in degrees) of plane coordinates (s, t) of a view.
void ViewDirection(const ViewSpec& view, double s, double t, double& azimuthDeg, double& elevationDeg);

}  // namespace veldan::headsim

// The view set-up of a rendering run and the ray casters: Levoy compositing,
// X-Ray and First Hit (public below), and MIP and MinIP (through CastGridRay
// only). The casters are plain functions; the only
// shared state they write besides their output pixel is the shading cache
// (Levoy only).
#pragma once

#include <cstdint>
#include <memory>

#include "engine/Matrix.h"
#include "engine/RunSettings.h"

class CVolume;
class CTransferFunction;
class CSkipMap;
class CShadeCache;

// Distances from the eye along every ray: the image plane (and first Levoy
// sample) at RAY_NEAR, the last sample at RAY_FAR; the volume's centre lies at
// VIEW_DISTANCE.
constexpr double RAY_NEAR = 1.2;
constexpr double RAY_FAR = 3.2;
constexpr double VIEW_DISTANCE = 2.2;

// The float nearest to 1/255, which turns accumulated byte colours into 0..1.
constexpr float K255 = 0.003921568859368563f;

// Interpolation codes of the volume casters.
enum VolumeInterpolation { VOLUME_NEAREST = 0, VOLUME_TRILINEAR = 1 };

// What every ray of a view shares, made from the matrix and the volume's
// dimensions (inside the casters).
struct RayMarchSetup;

// The view of one rendering run, built once before its first step and read only
// by the casters.
struct RayView {
    std::unique_ptr<CMatrix4> pMatrix;           // eye frame -> continuous voxel coordinates
    std::shared_ptr<const RayMarchSetup> pSetup; // made by SetupView with the matrix
    float light[3] = {0.0f, 0.0f, 0.0f};         // the viewing axis in the rotated volume frame
    int32_t nSamples = 0;                        // samples per ray: the diagonal, truncated
    double dRight = 0.0;                         // image-plane half-width R
    double dTop = 0.0;                           // image-plane half-height T
    // A zoomed or panned view (the camera's ZoomPan not the default): the
    // image-plane point (u, v) of a grid sample is ((u - dShiftU) / dZoom,
    // (v - dShiftV) / dZoom). The default view leaves (u, v) as it is.
    bool bZoomed = false;
    double dZoom = 1.0, dShiftU = 0.0, dShiftV = 0.0;
    // The volume's diagonal, and the longest voxel edge, in units of its shortest
    // voxel edge (with cubic voxels: the diagonal in voxels, and 1).
    double dDiagonal = 0.0;
    double dStretch = 1.0;
    WireBox box; // the wire box of the same view
};

// Builds the view, rays and wire box, from the client size, the camera and the
// crop box of the settings and the volume's dimensions. A client dimension below 1 counts as 1
// here, so that no value becomes infinite or undefined. pSpacing, when given, holds the voxel edges
// along x, y and z: the box then has the volume's physical proportions (each dimension times its
// edge over the shortest edge takes the dimension's place). Equal edges (and unusable ones: not
// finite, not positive) give the cubic view.
void SetupView(const RunSettings& settings, int nDimX, int nDimY, int nDimZ,
               CVectorMath& vectorMath, RayView& view, const double* pSpacing = nullptr);

// Casts the ray of the grid fractions fx, fy (each in [0, 1)) into pixel with
// the caster, interpolation and thresholds of the settings. An unknown type
// yields a computed black pixel. pSkip, when given, is used only if it was made
// for these settings (its key); otherwise every sample is marched.
// bShared: rays cast on other threads at the same time may share the shading
// cache (false when this thread is the only one casting).
void CastGridRay(const RayView& view, const RunSettings& settings, double fx, double fy,
                 const CTransferFunction& tf, const CVolume& volume, CShadeCache& shade,
                 ImagePixel& pixel, const CSkipMap* pSkip = nullptr, bool bShared = true);

// How many samples the march of that ray walks through (after leaving out
// those that cannot lie in the volume or its crop box, before empty-space
// skipping): the measure of a ray's work that cropping reduces.
int32_t MarchedSampleCount(const RayView& view, const RunSettings& settings, double fx, double fy);

// The casters do the same arithmetic with the processor's AVX2 instructions
// where it has them, or with SSE2; the pictures are the same bit for bit.
// Whether AVX2 is there, and which the casters use (AVX2 when it is there,
// unless told otherwise, e.g. to compare the two).
bool CasterAvx2Available();
void UseCasterAvx2(bool bUse);
bool CasterUsesAvx2();

// The casters below skip the samples that a given skip map (made for the same
// settings, transfer function and dataset) marks as lying in empty space; the
// float position still advances exactly as one addition per sample would, so the
// pixel is bit for bit the same with or without the map.

// Shaded front-to-back compositing with gradient-weighted opacity; fills the
// shading cache (fitted to the volume). pDirection and pLight point to three floats each. Casts
// running at the same time may share the cache: an entry is claimed atomically
// by the first ray that reaches its voxel, which fills it, and every other ray
// waits for and uses what that ray filled in.
int CastRayLevoy(int32_t nSamples, double dNear, double dFar, const float* pDirection,
                 const float* pLight, int32_t nInterpolation, const CTransferFunction& tf,
                 const CMatrix4& matrix, const CVolume& volume, CShadeCache& shade,
                 ImagePixel& pixel, const CSkipMap* pSkip = nullptr);

// Averaged back-to-front projection of the nearest voxel values: grey = five
// times the sum of the inside samples divided by 4096 * nSamples.
int CastRayXRay(int32_t nSamples, double dNear, double dFar, const float* pDirection,
                const CMatrix4& matrix, const CVolume& volume, ImagePixel& pixel,
                const CSkipMap* pSkip = nullptr);

// The first sample strictly between the two thresholds, diffusely shaded with the
// table colour; black when nothing is hit or the gradient there is zero.
int CastRayFirstHit(int32_t nSamples, float fNear, float fFar, const float* pDirection,
                    const float* pLight, int32_t nUpperThreshold, int32_t nLowerThreshold,
                    int32_t nInterpolation, const CTransferFunction& tf, const CMatrix4& matrix,
                    const CVolume& volume, ImagePixel& pixel, const CSkipMap* pSkip = nullptr);

// The Levoy specular term: (float) pow(fCosine, 30.0) in double precision, bit
// for bit, mostly without calling pow (with a C library whose pow is within one
// unit in the last place, as glibc's is).
float SpecularPower(float fCosine);

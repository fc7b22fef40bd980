// The engine's own matrix and vector arithmetic in single precision, the angle conversions, and the
// two rules that compose an object's or limb's frame matrix (scale x rotation x translation).
// Rotations are left-handed; angles of the language are degrees, the functions below take radians
// unless their comment says otherwise.
#pragma once
#include <cstdint>

#include "common/maths_types.h"

namespace vx {

// Results of the fallible operations (HRESULT values).
constexpr int32_t kMathsOk = 0;
constexpr int32_t kMathsInvalidArg = static_cast<int32_t>(0x80070057u);  // E_INVALIDARG: degenerate input

// The engine's degree conversions (transforms, rotation, light and grid commands).
constexpr float kEngineDegreesToRadians = 0.017453292f;
constexpr float kEngineRadiansToDegrees = 57.29578f;
// The coarse conversion that DegreesToRadians keeps.
constexpr double kDegreesToRadiansCoarse = 0.01745;

void MatrixIdentity(Matrix4f& m);
// out = a x b, through a temporary, so out may be a or b.
void MatrixMultiply(Matrix4f& out, const Matrix4f& a, const Matrix4f& b);
// The same product taken from copies of both factors.
void MatrixMultiplyCopy(Matrix4f& out, Matrix4f a, Matrix4f b);
// Inverse of an affine matrix; kMathsInvalidArg (out untouched) when the last column is not
// (0, 0, 0, 1) within 0.001 or the 3x3 block is singular.
int32_t MatrixInvert(Matrix4f& out, const Matrix4f& m);
// out = (x / w, y / w, z / w) of (v, 1) x m; kMathsInvalidArg (out untouched) when |w| < 0.00001.
int32_t TransformCoord(Vector3f& out, const Vector3f& v, const Matrix4f& m);

void MatrixRotationX(Matrix4f& m, float angle);
void MatrixRotationY(Matrix4f& m, float angle);
void MatrixRotationZ(Matrix4f& m, float angle);
// Left-handed projection; ratio multiplies the horizontal scale (callers pass height / width).
// kMathsInvalidArg (m untouched) when |far - near| < 0.01 or |sin(fov / 2)| < 0.01.
int32_t MatrixPerspective(Matrix4f& m, float fieldOfView, float ratio, float nearPlane, float farPlane);
// Left-handed view matrix of a camera at eye looking at `at`.
void MatrixLookAt(Matrix4f& m, const Vector3f& eye, const Vector3f& at, const Vector3f& up);
void MatrixTranslation(Matrix4f& m, const Vector3f& v);

// Turns a point about X, then Y, then Z by the given cosines and sines; returns 1.
int32_t RotatePoint3(float cosX, float cosY, float cosZ, float sinX, float sinY, float sinZ, float x, float y, float z,
                     float& outX, float& outY, float& outZ);

void Vector3Divide(Vector3f& out, const Vector3f& v, float s);
void Vector3Subtract(Vector3f& out, const Vector3f& a, const Vector3f& b);
float Vector3LengthSquared(const Vector3f& v);
float Vector3Length(const Vector3f& v);
// v divided by its length; a vector of length 0 is left as it is, one that is not finite gives
// (0, 0, 0), so no NaN comes out.
void Vector3Normalize(Vector3f& out, const Vector3f& v);
void Vector3Cross(Vector3f& out, const Vector3f& a, const Vector3f& b);

double DegreesToRadians(double degrees);
// Brings degrees into [0, 360) in at most 100 steps of 360; an angle that needs more (or NaN) gives 0.
float WrapAngleDegrees(float degrees);
// m = m x R(angle) for each angle (degrees) that is not 0, in the order X, Y, Z.
void RotateMatrixByAngles(Matrix4f& m, float x, float y, float z);
// out = Rx(x) x Ry(y) x Rz(z), angles in radians.
void RotationMatrixFromAngles(Matrix4f& out, float x, float y, float z);
// The angles (radians, each in [0, full turn)) that turn the +Z axis at `from` towards `to`.
void AnglesTowardsPoint(float fromX, float fromY, float fromZ, float toX, float toY, float toZ, float& outX,
                        float& outY, float& outZ);
// Euler angles in degrees of the rotation in the upper 3x3 block (axes X, Y, Z, static frame).
void MatrixToEulerDegrees(const float values[16], float& outX, float& outY, float& outZ);

// Frame matrix S x R x T from a position, angles in degrees and a scale. Order 0 rotates by
// R = Rz x Ry x Rx, order 1 by R = Rx x Ry x Rz.
void ComposeFrameMatrix(Matrix4f& out, const Vector3f& position, const Vector3f& anglesDegrees, const Vector3f& scale,
                        int32_t rotationOrder);
// Frame matrix S x inverse(rotation) x T for the free-rotation mode, where the stored rotation is the
// inverse of the frame's. kMathsInvalidArg (out untouched) when the rotation cannot be inverted.
int32_t ComposeFrameMatrixFromRotation(Matrix4f& out, const Vector3f& position, const Matrix4f& rotation,
                                       const Vector3f& scale);

}  // namespace vx

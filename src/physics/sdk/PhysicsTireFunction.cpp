#include <cmath>

#include "physics/sdk/IPhysicsWheelShape.h"

float PhysicsTireFunction::evaluate(float slip) const {
    if (!std::isfinite(slip)) {
        return 0.0f;
    }
    float x = std::fabs(slip);
    float value;
    if (!(extremumSlip > 0.0f)) {
        value = x > 0.0f ? extremumValue : 0.0f;
    } else if (x < extremumSlip) {
        // Rising with slope 2 * value / slip at 0, flat at the extremum.
        float t = x / extremumSlip;
        value = extremumValue * t * (2.0f - t);
    } else if (x < asymptoteSlip) {
        // Easing from the extremum to the asymptote, flat at both ends.
        float u = (x - extremumSlip) / (asymptoteSlip - extremumSlip);
        value = extremumValue + (asymptoteValue - extremumValue) * u * u * (3.0f - 2.0f * u);
    } else {
        value = asymptoteValue;
    }
    float force = value * stiffnessFactor;
    return slip < 0.0f ? -force : force;
}

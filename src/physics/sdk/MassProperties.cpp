#include "physics/sdk/MassProperties.h"

#include <cmath>

namespace {

void subexpressions(double w0, double w1, double w2, double& f1, double& f2, double& f3, double& g0,
                    double& g1, double& g2) {
    double temp0 = w0 + w1;
    f1 = temp0 + w2;
    double temp1 = w0 * w0;
    double temp2 = temp1 + w1 * temp0;
    f2 = temp2 + w2 * f1;
    f3 = w0 * temp1 + w1 * temp2 + w2 * f2;
    g0 = f2 + w0 * (f1 + w0);
    g1 = f2 + w1 * (f1 + w1);
    g2 = f2 + w2 * (f1 + w2);
}

}  // namespace

PhysicsMassProperties computeMeshMassProperties(const float* vertices, size_t vertexCount,
                                                const uint32_t* indices, size_t indexCount) {
    // Volume integrals of 1, x, y, z, x^2, y^2, z^2, xy, yz, zx by the
    // divergence theorem over the triangles.
    static const double kMult[10] = {1.0 / 6,  1.0 / 24, 1.0 / 24,  1.0 / 24,  1.0 / 60,
                                     1.0 / 60, 1.0 / 60, 1.0 / 120, 1.0 / 120, 1.0 / 120};
    double intg[10] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (size_t t = 0; t + 2 < indexCount; t += 3) {
        if (indices[t] >= vertexCount || indices[t + 1] >= vertexCount ||
            indices[t + 2] >= vertexCount) {
            continue;
        }
        const float* p0 = vertices + 3 * size_t(indices[t]);
        const float* p1 = vertices + 3 * size_t(indices[t + 1]);
        const float* p2 = vertices + 3 * size_t(indices[t + 2]);
        double x0 = p0[0], y0 = p0[1], z0 = p0[2];
        double x1 = p1[0], y1 = p1[1], z1 = p1[2];
        double x2 = p2[0], y2 = p2[1], z2 = p2[2];
        double a1 = x1 - x0, b1 = y1 - y0, c1 = z1 - z0;
        double a2 = x2 - x0, b2 = y2 - y0, c2 = z2 - z0;
        double d0 = b1 * c2 - b2 * c1;
        double d1 = a2 * c1 - a1 * c2;
        double d2 = a1 * b2 - a2 * b1;
        double f1x, f2x, f3x, g0x, g1x, g2x;
        double f1y, f2y, f3y, g0y, g1y, g2y;
        double f1z, f2z, f3z, g0z, g1z, g2z;
        subexpressions(x0, x1, x2, f1x, f2x, f3x, g0x, g1x, g2x);
        subexpressions(y0, y1, y2, f1y, f2y, f3y, g0y, g1y, g2y);
        subexpressions(z0, z1, z2, f1z, f2z, f3z, g0z, g1z, g2z);
        intg[0] += d0 * f1x;
        intg[1] += d0 * f2x;
        intg[2] += d1 * f2y;
        intg[3] += d2 * f2z;
        intg[4] += d0 * f3x;
        intg[5] += d1 * f3y;
        intg[6] += d2 * f3z;
        intg[7] += d0 * (y0 * g0x + y1 * g1x + y2 * g2x);
        intg[8] += d1 * (z0 * g0y + z1 * g1y + z2 * g2y);
        intg[9] += d2 * (x0 * g0z + x1 * g1z + x2 * g2z);
    }
    for (int i = 0; i < 10; ++i) {
        intg[i] *= kMult[i];
    }
    // Inward winding gives the negated integrals.
    if (intg[0] < 0.0) {
        for (double& value : intg) {
            value = -value;
        }
    }
    PhysicsMassProperties props;
    double mass = intg[0];
    if (!(mass > 0.0) || !std::isfinite(mass)) {
        return props;
    }
    double cx = intg[1] / mass, cy = intg[2] / mass, cz = intg[3] / mass;
    props.mass = float(mass);
    props.centerOfMass = {float(cx), float(cy), float(cz)};
    double xx = intg[5] + intg[6] - mass * (cy * cy + cz * cz);
    double yy = intg[4] + intg[6] - mass * (cz * cz + cx * cx);
    double zz = intg[4] + intg[5] - mass * (cx * cx + cy * cy);
    double xy = -(intg[7] - mass * cx * cy);
    double yz = -(intg[8] - mass * cy * cz);
    double zx = -(intg[9] - mass * cz * cx);
    const double tensor[9] = {xx, xy, zx, xy, yy, yz, zx, yz, zz};
    for (int i = 0; i < 9; ++i) {
        props.inertia[i] = float(tensor[i]);
    }
    return props;
}

PhysicsMassProperties scaleMassProperties(const PhysicsMassProperties& props, float factor) {
    PhysicsMassProperties out = props;
    out.mass *= factor;
    for (float& value : out.inertia) {
        value *= factor;
    }
    return out;
}

PhysicsMassProperties transformMassProperties(const PhysicsMassProperties& props,
                                              const Matrix4& pose) {
    PhysicsMassProperties out = props;
    out.centerOfMass = pose.transformPoint(props.centerOfMass);
    // R I R^T with R the rotation columns of the pose.
    double r[3][3];
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            r[row][col] = pose.m[col * 4 + row];
        }
    }
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k) {
                for (int l = 0; l < 3; ++l) {
                    sum += r[i][k] * double(props.inertia[k * 3 + l]) * r[j][l];
                }
            }
            out.inertia[i * 3 + j] = float(sum);
        }
    }
    return out;
}

void MassPropertiesSum::add(const PhysicsMassProperties& part) {
    if (!(part.mass > 0.0f)) {
        return;
    }
    double m = part.mass;
    double c[3] = {part.centerOfMass.x, part.centerOfMass.y, part.centerOfMass.z};
    m_mass += m;
    for (int i = 0; i < 3; ++i) {
        m_moment[i] += m * c[i];
    }
    // Tensor about the origin: I_c + m (|c|^2 E - c c^T).
    double cc = c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            m_second[i * 3 + j] +=
                double(part.inertia[i * 3 + j]) + m * ((i == j ? cc : 0.0) - c[i] * c[j]);
        }
    }
}

PhysicsMassProperties MassPropertiesSum::result() const {
    PhysicsMassProperties out;
    if (!(m_mass > 0.0)) {
        return out;
    }
    double c[3] = {m_moment[0] / m_mass, m_moment[1] / m_mass, m_moment[2] / m_mass};
    double cc = c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
    out.mass = float(m_mass);
    out.centerOfMass = {float(c[0]), float(c[1]), float(c[2])};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            out.inertia[i * 3 + j] =
                float(m_second[i * 3 + j] - m_mass * ((i == j ? cc : 0.0) - c[i] * c[j]));
        }
    }
    return out;
}

void diagonalizeInertia(const float inertia[9], Vector3& principal, Matrix4& axes) {
    // Cyclic Jacobi rotations on a double copy; v collects the rotations.
    double a[3][3];
    double v[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            a[i][j] = inertia[i * 3 + j];
        }
    }
    for (int sweep = 0; sweep < 50; ++sweep) {
        double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
        double diag = a[0][0] * a[0][0] + a[1][1] * a[1][1] + a[2][2] * a[2][2];
        if (off <= 1e-24 * diag || off == 0.0) {
            break;
        }
        for (int p = 0; p < 2; ++p) {
            for (int q = p + 1; q < 3; ++q) {
                if (a[p][q] == 0.0) {
                    continue;
                }
                double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
                double t =
                    (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                double c = 1.0 / std::sqrt(t * t + 1.0);
                double s = t * c;
                for (int k = 0; k < 3; ++k) {
                    double akp = a[k][p], akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (int k = 0; k < 3; ++k) {
                    double apk = a[p][k], aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (int k = 0; k < 3; ++k) {
                    double vkp = v[k][p], vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
        }
    }
    // A proper rotation: flip the last axis of a reflection.
    double det = v[0][0] * (v[1][1] * v[2][2] - v[1][2] * v[2][1]) -
                 v[0][1] * (v[1][0] * v[2][2] - v[1][2] * v[2][0]) +
                 v[0][2] * (v[1][0] * v[2][1] - v[1][1] * v[2][0]);
    if (det < 0.0) {
        for (int k = 0; k < 3; ++k) {
            v[k][2] = -v[k][2];
        }
    }
    principal = {float(a[0][0]), float(a[1][1]), float(a[2][2])};
    axes = Matrix4::identity();
    for (int col = 0; col < 3; ++col) {
        for (int row = 0; row < 3; ++row) {
            axes.m[col * 4 + row] = float(v[row][col]);
        }
    }
}

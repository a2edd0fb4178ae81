"""What a simulated LMS100 sees: a flat road below it, an optional ceiling above
it, and an obstacle that can enter the clearance sector.

Angles follow the scanner service's vehicle description: the rotation is the
direction of the first scan point, clockwise from the horizontal vector pointing
right; the scan then turns counter-clockwise by one step per point. Clearance
sector angles are measured clockwise from straight up, so that point i lies at
sector angle rotation + 90 - i * step. Distances are millimetres.
"""

import math
import struct

MAX_RANGE_MM = 20000  # the LMS100's range; farther targets give no echo (0)
MIN_VALUE_MM = 16  # values below 16 are reserved by the scanner

# Reflectivity of the surfaces (0..1) at normal incidence.
ROAD_REFLECTIVITY = 0.45
CEILING_REFLECTIVITY = 0.30
OBSTACLE_REFLECTIVITY = 0.85


def f32(x):
    """x rounded to single precision, as the service stores its angles."""
    return struct.unpack("f", struct.pack("f", x))[0]


def sector_points(rotation, step, start, end, points):
    """(first, count) of the scan points the service's clearance check reads.

    The service takes width = end - start and, when width > 0.1,
    count = trunc(width / step) in single precision and
    first = trunc((rotation + (90 - end)) / step); points outside the scan are
    not read. Returns (first, 0) when there is no sector."""
    width = f32(f32(end) - f32(start))
    if not width > 0.1:
        return 0, 0
    count = int(f32(width / f32(step)))
    first = int((f32(rotation) + (90.0 - f32(end))) / f32(step))
    lo, hi = max(first, 0), min(first + count, points)
    return lo, max(hi - lo, 0)


class Scene:
    """The profile of one scanner; values are recomputed only when the scene changes."""

    def __init__(self, points, step, rotation, base_mm, ceiling_mm=0, sector=(0.0, 0.0),
                 obstacle_mm=2500, noise_mm=0, rng=None):
        self.points = points
        self.step = step
        self.rotation = rotation
        self.base_mm = base_mm
        self.ceiling_mm = ceiling_mm
        self.sector = sector
        self.obstacle_mm = obstacle_mm
        self.noise_mm = noise_mm
        self.rng = rng
        self._cache = {}

    def changed(self):
        self._cache.clear()

    def sector_range(self):
        first, count = sector_points(self.rotation, self.step, self.sector[0], self.sector[1],
                                     self.points)
        return range(first, first + count)

    def direction(self, i):
        """Counter-clockwise angle from the horizontal right, in degrees, of point i."""
        return i * self.step - self.rotation

    def _surface(self, i):
        """(distance mm, reflectivity x cos incidence) of point i without the obstacle."""
        s = math.sin(math.radians(self.direction(i)))
        if s < -1e-9 and self.base_mm > 0:
            d, r = self.base_mm / -s, ROAD_REFLECTIVITY * (0.35 + 0.65 * -s)
        elif s > 1e-9 and self.ceiling_mm > 0:
            d, r = self.ceiling_mm / s, CEILING_REFLECTIVITY * (0.35 + 0.65 * s)
        else:
            return 0, 0.0
        return (round(d), r) if d <= MAX_RANGE_MM else (0, 0.0)

    def _clean(self, obstacle_mm, bits):
        key = (obstacle_mm, bits)
        if key not in self._cache:
            full = (1 << bits) - 1 if bits else 0
            dist, rem = [], []
            for i in range(self.points):
                d, r = self._surface(i)
                dist.append(max(d, MIN_VALUE_MM) if d else 0)
                rem.append(round(r * full) if d else 0)
            if obstacle_mm:
                for i in self.sector_range():
                    dist[i] = max(min(int(obstacle_mm), MAX_RANGE_MM), MIN_VALUE_MM)
                    rem[i] = round(OBSTACLE_REFLECTIVITY * full)
            if len(self._cache) > 8:  # obstacle distances come and go
                self._cache.clear()
            self._cache[key] = (dist, rem)
        return self._cache[key]

    def profile(self, obstacle_mm=None, bits=16):
        """(distances, remissions) of one scan; bits 8 or 16 for the remission values,
        0 for none (the list is then all zeros)."""
        dist, rem = self._clean(obstacle_mm, bits)
        if not self.noise_mm or self.rng is None:
            return list(dist), list(rem)
        n = int(self.noise_mm)
        full = (1 << bits) - 1 if bits else 0
        jitter = max(full // 100, 1) if bits else 0
        rnd = self.rng.randint
        out_d = [min(max(d + rnd(-n, n), MIN_VALUE_MM), MAX_RANGE_MM) if d else 0 for d in dist]
        out_r = [min(max(r + rnd(-jitter, jitter), 0), full) if r else 0 for r in rem]
        return out_d, out_r

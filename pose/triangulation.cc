#include <cmath>

#include "pose/cpose.h"
#include "pose/fixed_chunks.h"
#include "pose/pose_geometry.h"

void CPose::triangulation(cv::Mat K, cv::Mat R, cv::Mat t, const std::vector<cv::Point2f>& pts1,
                          const std::vector<cv::Point2f>& pts2,
                          std::vector<cv::Point3f>& points3D) const {
  const size_t n = pts1.size();
  CV_Assert(pts2.size() >= n);
  const ringcalib::PinholeCamera camera(K);
  const cv::Matx33d rotation = R;
  const cv::Vec3d c = rotation * cv::Vec3d(t);

  points3D.assign(n, cv::Point3f());
  ringcalib::forEachChunk(n, [&](size_t, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      const cv::Vec3d p1 = camera.ray(pts1[i]);
      const cv::Vec3d p2 = camera.ray(pts2[i]);
      const cv::Vec3d q = rotation * p1;
      // In second-camera coordinates the first ray is s * q - c and the second s2 * p2; the
      // least-squares s of s * q - c = s2 * p2 puts the point on the first ray.
      const double p2p2 = p2.dot(p2);
      const double p2q = p2.dot(q);
      double D = p2p2 * q.dot(q) - p2q * p2q;
      if (std::abs(D) < 1e-10) D = 1e-10;  // parallel rays: a far but finite point
      const float s = static_cast<float>((q.dot(c) * p2p2 - p2q * p2.dot(c)) / D);
      points3D[i] = cv::Point3f(static_cast<float>(p1[0] * s), static_cast<float>(p1[1] * s), s);
    }
  });
}

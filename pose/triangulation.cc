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
    for (size_t i = begin; i < end; ++i)
      points3D[i] = ringcalib::triangulateOnFirstRay(
          rotation, c, ringcalib::RayPair(camera, pts1[i], pts2[i]));
  });
}

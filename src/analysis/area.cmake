# The chart is drawn by Qt Charts and saved as SVG through Qt SVG; the percent within limits needs
# Boost.Math's incomplete beta function (header only).
find_package(Qt6 REQUIRED COMPONENTS Charts Svg)
find_package(Boost 1.74 REQUIRED)
target_link_libraries(${name} PUBLIC Qt6::Charts Qt6::Svg Boost::headers)

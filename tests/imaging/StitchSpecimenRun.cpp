#include "StitchSpecimenRun.h"

#include "imaging/StitchFeatherMask.h"

#include <set>

PanRun runPan(const PanCase& c, StitchLoopDriver& driver) {
    StitchPanOptions options;
    options.kind = c.kind;
    options.cameraFrame = c.camera;
    options.halve = !c.precision;
    options.noiseSigma = 2.0;
    options.vignetting = 0.2;
    options.jpegQuality = 92;
    options.subpixel = true;
    options.seed = c.seed;
    StitchPanPlan plan = StitchPanGenerator::planFor(c.camera, c.cols, 2, &options.specimen);
    plan.hold = c.hold;
    plan.settleBlur = c.settleBlur;
    plan.transitBlur = c.transitBlur;
    options.uniformPatch = cv::Rect(0, 0, 0, 0);
    if (c.featurelessStart) // the first two stops see nothing but the blank
        options.uniformPatch = cv::Rect(0, 0, plan.origin.x() + plan.step.x() + c.camera.width - 8,
                                        plan.origin.y() + c.camera.height - 8);
    if (c.jump) {
        // Far from the last stop (bottom left), half over the covered right
        // column, then one stop further on.
        plan.jump = true;
        plan.jumpTo = plan.origin + QPoint(plan.step.x() * 7 / 2 & ~1, plan.step.y() / 2 & ~1);
        plan.jumpHold = 24;
        plan.afterJumpStops = 1;
        plan.afterJumpStep = QPoint(-plan.step.x(), 0);
        options.specimen.width += plan.step.x();
    }
    const StitchPanGenerator gen(options);
    PanRun run;
    run.frames = gen.pan(plan);
    run.stops = int(StitchPanGenerator::stops(plan).size());
    const cv::Mat full = buildStitchFeatherMask(c.camera.width, c.camera.height, c.camera.width * 5 / 12,
                                                c.camera.height * 5 / 11);
    driver.setFeatherMasks(full, halveStitchFeatherMask(full));
    driver.run(run.frames);
    run.errors = driver.placementErrors(run.frames);
    std::set<int> placed;
    for (int frame : driver.placementFrames())
        placed.insert(run.frames[size_t(frame)].stop);
    run.placedStops = int(placed.size());
    return run;
}


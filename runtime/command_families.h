// Registration of each command family's handlers with the dispatcher.
#pragma once

namespace vx {

void RegisterFlowCommands();
void RegisterArithmeticCommands();
void RegisterStringCommands();
void RegisterArrayCommands();
void RegisterMathsCommands();
void RegisterSystemCommands();
void RegisterDisplayCommands();
void RegisterInputCommands();
void RegisterCoreSystemCommands();
void RegisterBitmapCommands();
void RegisterTextCommands();
void RegisterVideoCommands();

}  // namespace vx

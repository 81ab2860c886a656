// World parameters: the contact and step parameters of the current world and the publisher's step and repeat
// sizes, read and written by hosts (QE_Set... / QE_Get...) and scripts (Set... / Get...). Stored unchanged.
#pragma once

// Registers the builtins of the parameters. Runs once; later calls do nothing.
void ZevEngineRegisterWorldParams();

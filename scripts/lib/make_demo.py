#!/usr/bin/env python3
"""Lays a ready demo for the run command: a disc folder and a working folder holding the image
tool, the four sort lists, the boot-area file and the four overlay folders.

usage: make_demo.py <demo folder>   (KORVANTE_MKISOFS_DIR names the built image tool)
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "support"))
from wine_build import make_disc, make_working_folder  # noqa: E402

demo = sys.argv[1]
make_disc(os.path.join(demo, "disc"), "D")
make_working_folder(os.path.join(demo, "work"))

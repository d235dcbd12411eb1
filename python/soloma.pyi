"""Thermal (infrared) image processing on NumPy arrays."""
from enum import IntEnum
from typing import NamedTuple, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

Frame = npt.NDArray[np.uint16]  # (height, width)
FloatImage = npt.NDArray[np.float32]  # (height, width)
Colour = npt.NDArray[np.uint8]  # (height, width, 4): blue, green, red, reserved
Image = Union[Frame, FloatImage]
Roi = Tuple[int, int, int, int]  # x, y, width, height

class PlateauEqualization:
    num_bins: int  # read-only
    linear_percent: float
    plateau_limit: float
    window: Optional[Tuple[int, int]]
    damping_factor: float
    def __init__(self, num_bins: int = 4096, *, linear_percent: float = 10.0,
                 plateau_limit: float = 300.0, window: Optional[Tuple[int, int]] = None,
                 damping_factor: float = 0.5) -> None: ...
    def apply(self, frame: Frame, *, out: Optional[Frame] = None) -> Frame: ...
    def reset(self) -> None: ...
    def __copy__(self) -> "PlateauEqualization": ...  # settings and carried state
    def __deepcopy__(self, memo: dict) -> "PlateauEqualization": ...

class DDE:
    kernel_size: int  # read-only; set through init
    sigma: float  # read-only; set through init
    base_sharpen: float
    detail_gain: float
    def __init__(self, *, kernel_size: int = 5, sigma: float = 2.0, base_sharpen: float = 0.5,
                 detail_gain: float = 2.0) -> None: ...
    def init(self, kernel_size: int, sigma: float) -> None: ...
    def apply(self, frame: Frame, *, out: Optional[Frame] = None) -> Frame: ...
    def __copy__(self) -> "DDE": ...  # settings and carried state
    def __deepcopy__(self, memo: dict) -> "DDE": ...

class FastDDE:
    detail_gain: float
    def __init__(self, *, detail_gain: float = 2.0) -> None: ...
    def apply(self, frame: Frame, *, out: Optional[Frame] = None) -> Frame: ...
    def __copy__(self) -> "FastDDE": ...  # settings and carried state
    def __deepcopy__(self, memo: dict) -> "FastDDE": ...

class HistogramEqualization:
    def __init__(self) -> None: ...
    def apply(self, frame: Frame, *, out: Optional[Frame] = None) -> Frame: ...
    def __copy__(self) -> "HistogramEqualization": ...  # settings and carried state
    def __deepcopy__(self, memo: dict) -> "HistogramEqualization": ...

class GasDetection:
    psd_mode: int
    window_size: int
    psd_step: int
    edge_factor: int
    psd_threshold: float
    temporal_dampening: float
    colorization_method: int
    use_mean_from_previous_image: bool
    stabilization: bool
    def __init__(self, *, psd_mode: int = 2, window_size: int = 32, psd_step: int = 16,
                 edge_factor: int = 8, psd_threshold: float = 3.5,
                 temporal_dampening: float = 0.0, colorization_method: int = 0,
                 use_mean_from_previous_image: bool = False,
                 stabilization: bool = True) -> None: ...
    def run(self, frame: Frame, reference: Frame, colour: Colour, *,
            out: Optional[Colour] = None) -> Colour: ...
    def __copy__(self) -> "GasDetection": ...  # settings and carried state
    def __deepcopy__(self, memo: dict) -> "GasDetection": ...

class GasDetectionDifference:
    edge_factor: int
    sensitivity_threshold: int
    colorization_method: int
    stabilization: bool
    def __init__(self, *, edge_factor: int = 8, sensitivity_threshold: int = 20,
                 colorization_method: int = 0, stabilization: bool = True) -> None: ...
    def run(self, frame: Frame, reference: Frame, colour: Colour, *,
            out: Optional[Colour] = None) -> Colour: ...
    def __copy__(self) -> "GasDetectionDifference": ...  # settings and carried state
    def __deepcopy__(self, memo: dict) -> "GasDetectionDifference": ...

class ImageStabilization:
    @property
    def dx(self) -> int: ...
    @property
    def dy(self) -> int: ...
    def __init__(self) -> None: ...
    def estimate(self, reference: Image, frame: Image) -> Tuple[int, int]: ...
    def align(self, reference: Image, frame: Image, *, out: Optional[Image] = None) -> Image: ...
    def __copy__(self) -> "ImageStabilization": ...  # settings and carried state
    def __deepcopy__(self, memo: dict) -> "ImageStabilization": ...

Mask = npt.NDArray[np.uint8]  # (height, width)

class MagicWand:
    def __init__(self) -> None: ...
    def add(self, frame: Frame, seed: Tuple[int, int], tolerance: float, *,
            mask: Optional[Mask] = None) -> Mask: ...
    def remove(self, frame: Frame, seed: Tuple[int, int], tolerance: float, *,
               mask: Optional[Mask] = None) -> Mask: ...
    def __copy__(self) -> "MagicWand": ...  # settings and carried state
    def __deepcopy__(self, memo: dict) -> "MagicWand": ...

class Palettes:
    class Kind(IntEnum):
        GREY = 0
        IRON = 1
        RAINBOW = 2
    @staticmethod
    def table(kind: Union[str, "Palettes.Kind"]) -> npt.NDArray[np.uint8]: ...
    @staticmethod
    def display_range(frame: Frame) -> Tuple[int, int]: ...
    @staticmethod
    def apply(frame: Frame, kind: Union[str, "Palettes.Kind"], low: Optional[int] = None,
              high: Optional[int] = None, *, out: Optional[Colour] = None) -> Colour: ...

class Statistics:
    @property
    def min(self) -> float: ...
    @property
    def max(self) -> float: ...
    @property
    def mean(self) -> float: ...
    @property
    def sum(self) -> float: ...
    @property
    def std_dev(self) -> float: ...
    @property
    def min_status(self) -> int: ...
    @property
    def max_status(self) -> int: ...
    @property
    def mean_status(self) -> int: ...
    @property
    def sum_status(self) -> int: ...
    @property
    def std_dev_status(self) -> int: ...
    @property
    def min_pos(self) -> Tuple[int, int]: ...
    @property
    def max_pos(self) -> Tuple[int, int]: ...

class RadiometricStatistics:
    @staticmethod
    def calculate(frame: Frame, roi: Optional[Roi] = None, *,
                  kelvin_table: Optional[npt.NDArray[np.float32]] = None,
                  table_low: int = 0) -> Statistics: ...
    @staticmethod
    def histogram_min_max(frame: Frame, low_fraction: float, high_fraction: float, *,
                          n_levels: int = 4097, lower_level: int = 0, upper_level: int = 65536,
                          roi: Optional[Roi] = None
                          ) -> Tuple[int, int, npt.NDArray[np.int32], npt.NDArray[np.int32]]: ...
    @staticmethod
    def fill_from_lut(frame: Frame, lut: npt.NDArray[np.float32], *,
                      out: Optional[FloatImage] = None) -> FloatImage: ...
    @staticmethod
    def output_to_signal(image: FloatImage, output_low: float, output_high: float,
                         signal_low: int, signal_high: int, scale: float, *,
                         out: Optional[Frame] = None) -> Frame: ...

Colour3 = npt.NDArray[np.uint8]  # (height, width, 3)
Yuv422 = npt.NDArray[np.uint8]  # (height, width, 2): Y0 U Y1 V for each pair of pixels
AnyImage = Union[Frame, FloatImage, Colour3, Colour]

class GeometricTransforms:
    @staticmethod
    def resize(image: AnyImage, size: Optional[Tuple[int, int]] = None, *, scale: float = 1.0,
               offset: Tuple[int, int] = (0, 0), linear: bool = True,
               out: Optional[AnyImage] = None) -> AnyImage: ...
    @staticmethod
    def rotate(image: AnyImage, angle: float, *, out: Optional[AnyImage] = None) -> AnyImage: ...

class AlphaComposition:
    @staticmethod
    def merge(image: Union[Frame, Colour3, Colour], overlay: Union[Frame, Colour3, Colour], *,
              key: int = 0, out: Optional[Union[Frame, Colour3, Colour]] = None
              ) -> Union[Frame, Colour3, Colour]: ...

class Blending:
    @staticmethod
    def apply(frame: Frame, palette: npt.NDArray[np.uint8], colour: Optional[Colour] = None, *,
              palette_weight: float = 1.0, colour_weight: float = 0.0,
              out: Optional[Colour] = None) -> Colour: ...

class Fusion:
    @staticmethod
    def colour(frame: Frame, palette: npt.NDArray[np.int32], low: int, high: int, *,
               out: Optional[npt.NDArray[np.int32]] = None) -> npt.NDArray[np.int32]: ...
    @staticmethod
    def combine(colour: Colour, luma: FloatImage, *, margin: Tuple[int, int] = (0, 0),
                out: Optional[Colour] = None) -> Colour: ...

class ColorTransformation:
    @staticmethod
    def convert(image: Union[Yuv422, Colour3, Colour], to: str, *,
                out: Optional[Union[Yuv422, Colour3, Colour]] = None
                ) -> Union[Yuv422, Colour3, Colour]: ...

class LogicalOperations:
    @staticmethod
    def and_(a: Mask, b: Union[Mask, int], *, out: Optional[Mask] = None) -> Mask: ...
    @staticmethod
    def or_(a: Mask, b: Union[Mask, int], *, out: Optional[Mask] = None) -> Mask: ...
    @staticmethod
    def xor(a: Mask, b: Union[Mask, int], *, out: Optional[Mask] = None) -> Mask: ...
    @staticmethod
    def not_(a: Mask, *, out: Optional[Mask] = None) -> Mask: ...

class IntensityTransformation:
    @staticmethod
    def add_from_lut(frame: Frame, lut: npt.NDArray[np.float32], image: FloatImage, *,
                     factor: Optional[float] = None,
                     out: Optional[FloatImage] = None) -> FloatImage: ...
    @staticmethod
    def sub_from_lut(frame: Frame, lut: npt.NDArray[np.float32], image: FloatImage, *,
                     factor: float = 1.0, out: Optional[FloatImage] = None) -> FloatImage: ...
    @staticmethod
    def calculate_lut(table: npt.NDArray[np.int32], count: int, first: int,
                      last: int) -> npt.NDArray[np.int32]: ...

class MorphologicalOperations:
    @staticmethod
    def dilate(mask: Mask, *, border: Union[str, int] = "edge",
               out: Optional[Mask] = None) -> Mask: ...
    @staticmethod
    def erode(mask: Mask, *, border: Union[str, int] = "edge",
              out: Optional[Mask] = None) -> Mask: ...

class PlumeFrame(NamedTuple):
    """One frame of the synthetic recording."""
    frame: Frame
    jitter: Tuple[int, int]  # (dx, dy): how far the scene moved from frame 0
    plume_mask: Mask  # 255 where the gas changes the signal by more than 4 counts
    vehicle: Optional[Roi]  # the vehicle's box, None while out of view

class SyntheticSequence:
    """The synthetic gas-leak recording; frames made on demand, in any order."""
    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    def __len__(self) -> int: ...
    def __getitem__(self, index: int) -> PlumeFrame: ...

def synthetic_sequence(frames: int = 60, width: int = 640, height: int = 512, jitter: int = 3,
                       plume_counts: float = 40.0, seed: int = 1,
                       vehicle: bool = True) -> SyntheticSequence: ...
def _time_cpp(obj: Union[PlateauEqualization, DDE, GasDetection], frame: Frame, n: int,
              reference: Optional[Frame] = None, colour: Optional[Colour] = None) -> float: ...

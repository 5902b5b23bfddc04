// Particle systems: sparkles, dust puffs, raindrops and their splash
// sparks, drawn as point sprites in world space with the point's colour.

shared float4x4 ViewProj : VIEWPROJECTION;

texture tex;

sampler spriteSampler = sampler_state
{
    Texture = <tex>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

struct PointOut
{
    float4 position : POSITION;
    float4 color : COLOR0;
    float2 uv : TEXCOORD0;
    float size : PSIZE;
};

// Points shrink with distance from a size in pixels at one unit; the
// sprite's picture spans the point, which point sprites map 0 to 1.
PointOut PointVS(float4 position, float4 color, float size)
{
    PointOut output;
    output.position = mul(position, ViewProj);
    output.color = color;
    output.uv = float2(0.5f, 0.5f);
    output.size = clamp(size / max(output.position.w, 1.0f), 1.0f, 64.0f);
    return output;
}

PointOut SparkleVS(float4 position : POSITION, float4 color : COLOR0)
{
    return PointVS(position, color, 6000.0f);
}

PointOut DustVS(float4 position : POSITION, float4 color : COLOR0)
{
    return PointVS(position, color, 4000.0f);
}

PointOut RainVS(float4 position : POSITION, float4 color : COLOR0)
{
    return PointVS(position, color, 3000.0f);
}

PointOut SplashVS(float4 position : POSITION, float4 color : COLOR0)
{
    return PointVS(position, color, 1500.0f);
}

float4 SpritePS(PointOut input) : COLOR
{
    return tex2D(spriteSampler, input.uv) * input.color;
}

// Splash sparks carry a dim colour (an eighth of white, an eighth opaque):
// they are lifted to a glint that adds to the picture.
float4 SplashPS(PointOut input) : COLOR
{
    return saturate(tex2D(spriteSampler, input.uv) * input.color * 6.0f);
}

technique sparkle
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = false;
        CullMode = None;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = One;
        PointSpriteEnable = true;
        VertexShader = compile vs_2_0 SparkleVS();
        PixelShader = compile ps_2_0 SpritePS();
    }
}

technique dust
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = false;
        CullMode = None;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        PointSpriteEnable = true;
        VertexShader = compile vs_2_0 DustVS();
        PixelShader = compile ps_2_0 SpritePS();
    }
}

technique rain_rain
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = false;
        CullMode = None;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        PointSpriteEnable = true;
        VertexShader = compile vs_2_0 RainVS();
        PixelShader = compile ps_2_0 SpritePS();
    }
}

technique rain_sparkle
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = false;
        CullMode = None;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = One;
        PointSpriteEnable = true;
        VertexShader = compile vs_2_0 SplashVS();
        PixelShader = compile ps_2_0 SplashPS();
    }
}

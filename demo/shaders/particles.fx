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

// Points shrink with distance from a size in pixels at one unit.
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
    return PointVS(position, color, 1200.0f);
}

PointOut DustVS(float4 position : POSITION, float4 color : COLOR0)
{
    return PointVS(position, color, 4000.0f);
}

PointOut RainVS(float4 position : POSITION, float4 color : COLOR0)
{
    return PointVS(position, color, 600.0f);
}

PointOut SplashVS(float4 position : POSITION, float4 color : COLOR0)
{
    return PointVS(position, color, 300.0f);
}

float4 SpritePS(PointOut input) : COLOR
{
    return tex2D(spriteSampler, input.uv) * input.color;
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
        PixelShader = compile ps_2_0 SpritePS();
    }
}
